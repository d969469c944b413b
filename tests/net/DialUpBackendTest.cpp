#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "net/ChildProcess.h"
#include "net/ECanceledError.h"
#include "net/ETimedOutError.h"
#include "net/NmcliBackend.h"
#include "net/PppdBackend.h"
#include "net/RasErrors.h"
#include "net/SystemRasBackend.h"
#include "net/TagRas.h"
#include "platform/EventPump.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

constexpr const char* kPassword = "s3cret pass";

std::vector<std::string> FileLines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool ProcessAlive(const std::string& pid) {
    return kill(static_cast<pid_t>(std::stol(pid)), 0) == 0;
}

// Runs the event pump until the line that is up reports its end, as an
// operation running over the line would.
int PumpUntilLineDrops() {
    const auto deadline = std::chrono::steady_clock::now() + 8s;
    while (std::chrono::steady_clock::now() < deadline) {
        try {
            ProcessMessages();
        } catch (const ERASError& error) {
            return error.Code;
        }
        std::this_thread::sleep_for(20ms);
    }
    return 0;
}

// The fake nmcli and pppd of tests/net/fakes come first on PATH; they record
// into a scratch folder and play the run the test names.
class DialUpBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (test::SourcePath("tests/net/fakes").string() + ":" + savedPath_).c_str(), 1);
        setenv("QLK_FAKE_RECORD", (folder_ / "record").c_str(), 1);
        setenv("QLK_FAKE_RUNDIR", (folder_ / "run").c_str(), 1);
        setenv("QLK_FAKE_PEERS", (folder_ / "peers").c_str(), 1);
        unsetenv("QLK_FAKE_STORED");
        fs::create_directories(folder_ / "run");
        fs::create_directories(folder_ / "peers");
        test::WriteFileBytes(folder_ / "peers" / "provider", "user gateway # the office account\n");
        test::WriteFileBytes(folder_ / "peers" / "backup", "user \"backup line\"\npassword stored\n");
        test::WriteFileBytes(folder_ / "peers" / "office", "plugin passwordfd.so\nlinkname officelink\n");
        test::WriteFileBytes(folder_ / "peers" / "provider~", "an editor's copy\n");
        test::WriteFileBytes(folder_ / "peers" / "two words", "not a peer name\n");
    }
    void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

    void Run(const char* run) { setenv("QLK_FAKE_RUN", run, 1); }
    std::vector<std::string> Recorded(const char* what) {
        return FileLines(folder_ / ("record." + std::string(what)));
    }

    // PRIVILEGED: as if the gateway ran as root.
    std::unique_ptr<TagRas> Pppd(bool privileged = true) {
        return Component(std::make_unique<PppdBackend>(ChildProcess::Find("pppd"), folder_ / "peers",
                                                       folder_ / "run", privileged));
    }
    std::unique_ptr<TagRas> Nmcli() {
        return Component(std::make_unique<NmcliBackend>(ChildProcess::Find("nmcli")));
    }

    std::unique_ptr<TagRas> Component(std::unique_ptr<RasBackend> backend) {
        auto ras = std::make_unique<TagRas>(std::move(backend));
        ras->Password = kPassword;
        ras->SetTimeOut(10);
        ras->OnStatusChange = [this](const std::string& text) { events.push_back(text); };
        ras->OnDisconnected = [this] { events.push_back("Disconnected"); };
        return ras;
    }

    // Dials ENTRY; the error's code, or 0 when the line came up.
    static int DialCode(TagRas& ras, const std::string& entry) {
        ras.SetService(entry);
        try {
            ras.Dial();
            return 0;
        } catch (const ERASError& error) {
            EXPECT_THAT(error.what(), HasSubstr(RasErrorText(error.Code)));
            return error.Code;
        }
    }

    void ExpectNoFakeLeft() {
        for (const auto& pid : Recorded("pids")) EXPECT_FALSE(ProcessAlive(pid)) << "pid " << pid;
    }

    test::TempDir folder_;
    std::string savedPath_;
    std::vector<std::string> events;
};

struct RunCase {
    const char* run;
    int code;
};
const std::vector<RunCase> kFailedRuns = {
    {"busy", reLineBusy},
    {"noanswer", reNoAnswer},
    {"badpassword", reAuthenticationFailure},
};

TEST_F(DialUpBackendTest, PppdCallsThePeerWithThePasswordOnAPipeOnly) {
    Run("success");
    auto ras = Pppd();
    EXPECT_THAT(ras->Entries(), ElementsAre("backup", "office", "provider"));
    ASSERT_EQ(DialCode(*ras, "Provider"), 0);
    EXPECT_THAT(Recorded("args"), ElementsAre("call provider nodetach nopersist logfd 1 linkname provider "
                                              "plugin passwordfd.so passwordfd 3"));
    EXPECT_THAT(Recorded("password"), ElementsAre(kPassword));
    EXPECT_THAT(events, ElementsAre("Initializing...", "Dialing...", "Dialing...",
                                    "Verifying user name and password", "User name and password verified",
                                    "Logging on to Network", "Successfully connected"));
    ras->HangUp();
    EXPECT_EQ(events.back(), "Disconnected");
    EXPECT_FALSE(fs::exists(folder_ / "run" / "ppp-provider.pid"));
    ExpectNoFakeLeft();

    // A peer that keeps its own password gets none from the gateway.
    ASSERT_EQ(DialCode(*ras, "backup"), 0);
    EXPECT_EQ(Recorded("args").back(), "call backup nodetach nopersist logfd 1 linkname backup");
    ras->HangUp();
    ExpectNoFakeLeft();
}

// pppd refuses "linkname" and "plugin" from anyone but root; without root
// the peer file loads the plugin and names the link, or goes without.
TEST_F(DialUpBackendTest, WithoutRootThePeerFileLoadsThePluginAndNamesTheLink) {
    Run("success");
    auto ras = Pppd(false);
    ASSERT_EQ(DialCode(*ras, "provider"), 0);
    EXPECT_EQ(Recorded("args").back(), "call provider nodetach nopersist logfd 1");
    EXPECT_FALSE(fs::exists(folder_ / "record.password"));
    ras->HangUp();

    ASSERT_EQ(DialCode(*ras, "office"), 0);
    EXPECT_EQ(Recorded("args").back(), "call office nodetach nopersist logfd 1 passwordfd 3");
    EXPECT_THAT(Recorded("password"), ElementsAre(kPassword));
    auto other = Pppd(false);
    other->SetService("office");
    EXPECT_TRUE(other->IsConnected()) << "the link is found by the peer's own link name";
    ras->HangUp();
    ExpectNoFakeLeft();
}

TEST_F(DialUpBackendTest, PppdFailuresBecomeReadableErrors) {
    for (const auto& c : kFailedRuns) {
        SCOPED_TRACE(c.run);
        Run(c.run);
        auto ras = Pppd();
        EXPECT_EQ(DialCode(*ras, "provider"), c.code);
        EXPECT_FALSE(ras->Connected());
        ExpectNoFakeLeft();
    }
    Run("hangup");
    auto ras = Pppd();
    ASSERT_EQ(DialCode(*ras, "provider"), 0);
    EXPECT_EQ(PumpUntilLineDrops(), reRemoteDisconnection);
    ras->HangUp();
    EXPECT_EQ(events.back(), "Disconnected");
    ExpectNoFakeLeft();
}

TEST_F(DialUpBackendTest, CancelledOrTimedOutCallLeavesNoProcess) {
    Run("hang");
    auto ras = Pppd();
    ras->SetTimeOut(1);
    ras->SetService("provider");
    EXPECT_THROW(ras->Dial(), ETimedOutError);
    ExpectNoFakeLeft();

    int looks = 0;
    auto previous = SetMessagePump([&] {
        if (++looks == 5) ras->Abort();
    });
    ras->SetTimeOut(10);
    EXPECT_THROW(ras->Dial(), ECanceledError);
    SetMessagePump(previous);
    EXPECT_EQ(Recorded("pids").size(), 2u);
    ExpectNoFakeLeft();
}

TEST_F(DialUpBackendTest, PppdAdoptsAnotherProgramsLinkAndLeavesItUp) {
    Run("success");
    ChildProcess other;
    ASSERT_TRUE(other.Start(ChildProcess::Find("pppd"), {"call", "backup", "linkname", "backup"}));
    const auto linkFile = folder_ / "run" / "ppp-backup.pid";
    for (int i = 0; i < 200 && FileLines(linkFile).size() < 2; ++i) std::this_thread::sleep_for(10ms);

    auto ras = Pppd();
    ASSERT_EQ(DialCode(*ras, "backup"), 0);
    EXPECT_FALSE(ras->DialledByUs());
    // Any line with an address will do when the entry itself is not forced.
    ras->HangUp();
    ras->ForceService = false;
    ASSERT_EQ(DialCode(*ras, "provider"), 0);
    EXPECT_EQ(ras->Handle(), other.Pid());
    ras->HangUp();
    EXPECT_EQ(Recorded("args").size(), 1u) << "nothing dialled";
    EXPECT_TRUE(other.Running());
}

TEST_F(DialUpBackendTest, NmcliActivatesTheProfileWithAPasswordsFileOnAPipe) {
    Run("success");
    auto ras = Nmcli();
    EXPECT_THAT(ras->Entries(), ElementsAre("Mobile:Office", "DSL", "Work VPN"));
    ASSERT_EQ(DialCode(*ras, "mobile:office"), 0);
    const auto args = Recorded("args");
    EXPECT_THAT(args, testing::Contains("--wait 3600 connection up id Mobile:Office passwd-file /dev/fd/3"));
    for (const auto& line : args) EXPECT_THAT(line, Not(HasSubstr("s3cret")));
    EXPECT_THAT(Recorded("password"), ElementsAre(std::string("gsm.password:") + kPassword));
    EXPECT_THAT(events, ElementsAre("Initializing...", "Dialing...", "Verifying user name and password",
                                    "Logging on to Network", "Successfully connected"));
    ras->HangUp();
    EXPECT_EQ(Recorded("args").back(), "connection down id Mobile:Office");
    EXPECT_EQ(events.back(), "Disconnected");

    // A profile that keeps its password is activated without one.
    setenv("QLK_FAKE_STORED", "1", 1);
    ASSERT_EQ(DialCode(*ras, "DSL"), 0);
    EXPECT_THAT(Recorded("args"), testing::Contains("--wait 3600 connection up id DSL"));
    ras->HangUp();
}

TEST_F(DialUpBackendTest, NmcliFailuresBecomeReadableErrors) {
    for (const auto& c : kFailedRuns) {
        SCOPED_TRACE(c.run);
        Run(c.run);
        auto ras = Nmcli();
        EXPECT_EQ(DialCode(*ras, "DSL"), c.code);
        EXPECT_EQ(Recorded("args").back(), "connection down id DSL") << "a failed activation is taken down";
    }
    Run("unknown");
    auto ras = Nmcli();
    ras->SetService("DSL");
    try {
        ras->Dial();
        ADD_FAILURE() << "no error";
    } catch (const ERASError& error) {
        EXPECT_EQ(error.Code, reUnknown);
        EXPECT_STREQ(error.what(),
                     "Unknown error. (Error: Connection activation failed: IP configuration could not be "
                     "reserved[0m)");
    }
    Run("hangup");
    ASSERT_EQ(DialCode(*ras, "DSL"), 0);
    EXPECT_EQ(PumpUntilLineDrops(), reRemoteDisconnection);
}

TEST_F(DialUpBackendTest, NmcliAdoptsActiveProfilesAndLeavesThemUp) {
    Run("success");
    test::WriteFileBytes(folder_ / "record.active", "DSL\n");
    auto ras = Nmcli();
    ASSERT_EQ(DialCode(*ras, "DSL"), 0);
    EXPECT_FALSE(ras->DialledByUs());
    ras->HangUp();
    ras->ForceService = false;
    ASSERT_EQ(DialCode(*ras, "Work VPN"), 0) << "the wired line has an address";
    EXPECT_FALSE(ras->DialledByUs());
    ras->HangUp();
    for (const auto& line : Recorded("args")) {
        EXPECT_THAT(line, Not(HasSubstr("connection up")));
        EXPECT_THAT(line, Not(HasSubstr("connection down")));
    }
}

TEST_F(DialUpBackendTest, NetworkManagerIsPreferredWhileItRuns) {
    Run("success");
    EXPECT_NE(dynamic_cast<NmcliBackend*>(SystemRasBackend().get()), nullptr);
    Run("stopped");
    EXPECT_NE(dynamic_cast<PppdBackend*>(SystemRasBackend().get()), nullptr);
}

}  // namespace
}  // namespace qlk
