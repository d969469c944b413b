#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QThread>

#include <filesystem>

#include "FakeDesktop.h"
#include "support/TempDir.h"

namespace qlk::test {
namespace {

namespace fs = std::filesystem;

std::string ContentOrEmpty(const fs::path& file) {
    return fs::exists(file) ? ReadFileBytes(file) : std::string();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// The program as a service manager runs it: started in an empty folder
// without a display, stopped with SIGTERM.
TEST(ProgramTest, FirstStartStoppedBySigtermLeavesItsFiles) {
    EnsureApplication();
    TempDir folder;
    QProcess program;
    program.setWorkingDirectory(QString::fromStdString(folder.path().string()));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/quelmark"), {});
    ASSERT_TRUE(program.waitForStarted(10000));

    for (int i = 0; i < 200 && ContentOrEmpty(folder / "QLKLOG.TXT").find("QLK.CFG") == std::string::npos;
         ++i) {
        QThread::msleep(50);
    }
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    EXPECT_TRUE(fs::is_directory(folder / "QLKMSG"));
    EXPECT_TRUE(fs::is_directory(folder / "QLKATT"));
    const auto config = Lines(ReadFileBytes(folder / "QLK.CFG"));
    ASSERT_EQ(config.size(), 53u);
    EXPECT_EQ(config[4], "8.32");
    for (const char* logFile : {"QLKLOG.TXT", "QLKLOG.RTF"}) {
        const std::string log = ReadFileBytes(folder / logFile);
        EXPECT_NE(log.find("Welcome to QLK - Version 8.32"), std::string::npos) << logFile;
        EXPECT_NE(log.find("Error Reading Configuration File QLK.CFG."), std::string::npos) << logFile;
        EXPECT_NE(log.find("Finished Saving Config File"), std::string::npos) << logFile;
    }
}

}  // namespace
}  // namespace qlk::test
