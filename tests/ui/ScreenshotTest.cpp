#include <gtest/gtest.h>

#include <QPixmap>

#include <cstdlib>

#include "FakeDesktop.h"
#include "support/TempDir.h"
#include "ui/TfrmQLK.h"

namespace qlk::test {
namespace {

// Renders the main window for the README. Not part of the suite; run it as
//   QLK_SCREENSHOT=docs/mainwindow.png qlk-tests-ui --gtest_also_run_disabled_tests
//     --gtest_filter='*Screenshot*'
TEST(ScreenshotTest, DISABLED_SaveMainWindow) {
    const char* target = std::getenv("QLK_SCREENSHOT");
    ASSERT_NE(target, nullptr) << "set QLK_SCREENSHOT to the image file to write";
    EnsureApplication();
    TempDir folder;
    WriteFileBytes(folder / "QLK.CFG", "");
    FakeDesktop desktop;
    TfrmQLK window(desktop, folder.path());
    StatusLog& log = window.Log();
    log.Clear(false);
    log.Clock = [] { return std::string("07/12/2026 08:00:00"); };
    const std::pair<const char*, int> lines[] = {
        {"Welcome to QLK - Version 8.32", 1},
        {"", 1},
        {"Beggining Mail Transfer", 1},
        {"Connecting to Internet : Use Network", 3},
        {"Checking mail for Ann Baker", 2},
        {"Connection to pop.example.com failed: [10061] Connection refused", 0},
        {"Checked mail for 3 user(s).", 1},
        {"Received 5 message(s).", 1},
        {"Sent 2 message(s).", 1},
        {"Downloaded 1 attachment(s).", 2},
        {"Finished Mail Transfer", 1},
    };
    for (const auto& [text, level] : lines) log.WriteLog(text, level);
    window.resize(860, 660);
    window.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.grab().save(QString::fromLocal8Bit(target)));
}

}  // namespace
}  // namespace qlk::test
