#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "GatewayScene.h"
#include "gateway/TransferDisplay.h"
#include "support/FtpPeer.h"
#include "support/UpdateSigner.h"

namespace qlk {
namespace {

using ::testing::Contains;
using ::testing::Each;
using ::testing::Le;

struct RecordingDisplay : TransferDisplay {
    std::vector<int> progress;
    void SetProgress(int percent) override { progress.push_back(percent); }
    void EnableTransferNow(bool) override {}
};

// The cycle runs the gateway's update check over the gateway's FTP client,
// the check moves the window's progress bar, and the newer version it did
// not install is what the cycle's notice reports.
TEST(UpdateWiring, CycleRunsTheCheckWhichDrivesTheBarAndReportsTheVersionItDidNotInstall) {
    std::string why;
    auto peer = test::FtpPeer::Start(why);
    QLK_NEED_PEER(peer, why);
    test::UpdateSigner signer;
    peer->AddFile("qlk/version.txt", signer.Manifest("8.4", std::string(300000, 's')));
    peer->AddFile("qlk/qlkupdt.exe", std::string(300000, 'u'));  // not the signed program: never installed
    test::GatewayScene scene;
    RecordingDisplay display;
    scene.gateway.SetDisplay(&display);
    scene.gateway.Update().Host = peer->Address();
    scene.gateway.Update().PublicKey = signer.PublicKey();
    scene.gateway.FTP().SetTimeOut(10);
    scene.settings.AutoUpdate = true;

    scene.RunCycle(true);

    EXPECT_TRUE(scene.Logged("Checking for Update"));
    EXPECT_TRUE(scene.Logged("Downloading Update"));
    EXPECT_TRUE(scene.Logged(
        "Update 8.4 was downloaded but not installed: it does not match the signed version file"));
    EXPECT_EQ(scene.gateway.Cycle().AvailableVersion(), "8.4");
    EXPECT_THAT(display.progress, Contains(33));  // 100,000 of the 300,000 signed bytes
    EXPECT_THAT(display.progress, Each(Le(100)));
    EXPECT_FALSE(scene.gateway.FTP().Connected());
}

}  // namespace
}  // namespace qlk
