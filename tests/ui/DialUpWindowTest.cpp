#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>

#include <cstdlib>
#include <fstream>

#include "FakeDesktop.h"
#include "support/TempDir.h"
#include "ui/TfrmQLK.h"

namespace qlk::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::EndsWith;

// The window over the system's dial-up service, here the fake nmcli of
// tests/net/fakes put first on PATH: NetworkManager "runs" with three
// dial-up profiles.
class DialUpWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (SourcePath("tests/net/fakes").string() + ":" + savedPath_).c_str(), 1);
        setenv("QLK_FAKE_RECORD", (scratch_ / "record").c_str(), 1);
        setenv("QLK_FAKE_RUN", "success", 1);
        window_ = std::make_unique<TfrmQLK>(desktop_, folder_.path());
    }
    void TearDown() override {
        window_.reset();
        setenv("PATH", savedPath_.c_str(), 1);
    }

    std::vector<std::string> Logged() {
        std::vector<std::string> texts;
        for (const auto& line : window_->Core().Log().Lines()) texts.push_back(line.text);
        return texts;
    }

    TempDir folder_;
    TempDir scratch_;
    FakeDesktop desktop_;
    std::string savedPath_;
    std::unique_ptr<TfrmQLK> window_;
};

TEST_F(DialUpWindowTest, ListsTheEntriesLogsTheCallAndHangsUpOnClose) {
    auto* connection = window_->findChild<QComboBox*>(QStringLiteral("cmbConnection"));
    ASSERT_NE(connection, nullptr);
    QStringList items;
    for (int i = 0; i < connection->count(); ++i) items << connection->itemText(i);
    EXPECT_EQ(items, QStringList({"Use Network", "Mobile:Office", "DSL", "Work VPN"}));
    EXPECT_EQ(connection->currentIndex(), 0);

    TagRas& ras = window_->QLKRAS();
    ras.SetService("Nowhere");
    EXPECT_THAT(desktop_.errors, ElementsAre(QString::fromLatin1(TagRas::InvalidServiceMessage)));
    ras.SetService("DSL");
    ras.Dial();
    EXPECT_THAT(Logged(), Contains(EndsWith("Dial-Up : Successfully connected")));

    window_->close();
    EXPECT_THAT(Logged(), Contains(EndsWith("Dial-Up : Disconnected")));
    std::ifstream args(scratch_ / "record.args");
    std::string line, last;
    while (std::getline(args, line)) last = line;
    EXPECT_EQ(last, "connection down id DSL");
}

}  // namespace
}  // namespace qlk::test
