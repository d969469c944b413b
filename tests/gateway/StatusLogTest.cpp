#include "gateway/StatusLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "gateway/RtfDocument.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;
namespace fs = std::filesystem;

class RecordingView : public LogView {
public:
    void LogCleared() override {
        ++clears;
        lines.clear();
    }
    void LineAdded(const LogLine& line) override { lines.push_back(line); }
    int clears = 0;
    std::vector<LogLine> lines;
};

class StatusLogTest : public ::testing::Test {
protected:
    StatusLogTest() : log(dir.path()) {
        log.Clock = [] { return std::string("TS"); };
        log.FlushInterval = std::chrono::milliseconds(0);
        log.SetView(&view);
    }
    std::string LogFile() const {
        return fs::exists(dir / "QLKLOG.TXT") ? ReadFileBytes(dir / "QLKLOG.TXT") : std::string();
    }

    TempDir dir;
    StatusLog log;
    RecordingView view;
};

TEST_F(StatusLogTest, LevelIsRecordedUpToTheDetailLevelAndNoticesAlways) {
    const LogColor colors[] = {LogColor::Red, LogColor::Black, LogColor::Blue, LogColor::Green,
                               LogColor::Red};
    for (int detail = -1; detail <= 3; ++detail) {
        for (int level = 0; level <= 4; ++level) {
            SCOPED_TRACE("detail " + std::to_string(detail) + " level " + std::to_string(level));
            TempDir folder;
            StatusLog fresh(folder.path());
            fresh.Clock = [] { return std::string("TS"); };
            fresh.DetailLevel = detail;
            fresh.WriteLog("m", level);
            bool recorded = detail >= level || level == 4;
            ASSERT_EQ(fresh.Lines().empty(), !recorded);
            EXPECT_EQ(fs::exists(folder / "QLKLOG.TXT"), recorded);
            if (recorded) {
                for (const auto& line : fresh.Lines()) EXPECT_EQ(line.color, colors[level]);
            }
        }
    }
}

TEST_F(StatusLogTest, ErrorLineHasItsBannersInWindowAndFile) {
    log.WriteLog("Boom", 0);
    std::vector<LogLine> expected = {{"********** ERROR *********", LogColor::Red},
                                     {"TS : Boom", LogColor::Red},
                                     {"**********", LogColor::Red}};
    EXPECT_EQ(log.Lines(), expected);
    EXPECT_EQ(view.lines, expected);
    EXPECT_EQ(LogFile(), "********** ERROR **********\r\nTS : Boom\r\n**********\r\n");
}

TEST_F(StatusLogTest, WindowTimestampIsOptionalButFileAlwaysHasIt) {
    struct Case {
        std::string msg;
        bool timestamp;
        std::string window;
        std::string file;
    } cases[] = {
        {"Hello", true, "TS : Hello", "TS : Hello\r\n"},
        {"Hello", false, "Hello", "TS : Hello\r\n"},
        {"", true, "", "TS : \r\n"},
        {"", false, "", "TS : \r\n"},
        {"forged\r\n**********\nentry", true, "TS : forged  ********** entry",
         "TS : forged  ********** entry\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window);
        TempDir folder;
        StatusLog fresh(folder.path());
        fresh.Clock = [] { return std::string("TS"); };
        fresh.TimestampInWindow = c.timestamp;
        fresh.WriteLog(c.msg, 1);
        ASSERT_EQ(fresh.Lines().size(), 1u);
        EXPECT_EQ(fresh.Lines()[0].text, c.window);
        EXPECT_EQ(ReadFileBytes(folder / "QLKLOG.TXT"), c.file);
    }
}

TEST_F(StatusLogTest, LevelOutsideTheTableKeepsThePreviousColour) {
    log.WriteLog("detail", 2);
    log.WriteLog("odd", -1);
    ASSERT_EQ(log.Lines().size(), 2u);
    EXPECT_EQ(log.Lines()[1].color, LogColor::Blue);
}

TEST_F(StatusLogTest, ErrorsAreCountedEvenWhenFilteredOut) {
    log.DetailLevel = -1;
    log.WriteLog("lost", 0);
    log.WriteLog("lost too", 0);
    log.WriteLog("notice", 4);
    EXPECT_EQ(log.ErrorCount, 2);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].color, LogColor::Red);
}

TEST_F(StatusLogTest, WindowIsEmptiedBeforeTheLineAfterMoreThanAThousand) {
    for (int i = 0; i < 1001; ++i) log.WriteLog("line " + std::to_string(i), 1);
    EXPECT_EQ(log.Lines().size(), 1001u);
    log.WriteLog("fresh", 0);
    std::vector<std::string> texts;
    for (const auto& line : log.Lines()) texts.push_back(line.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"********** ERROR *********", "TS : fresh", "**********"}));
    EXPECT_EQ(view.clears, 1);
    EXPECT_EQ(RtfDocument::Read(ReadFileBytes(dir / "QLKLOG.RTF")), log.Lines());
}

TEST_F(StatusLogTest, LogFileStartsAgainOnceItPassedTheBlockLimit) {
    struct Case {
        std::size_t sizeBefore;
        bool deleted;
    } cases[] = {{8'320'000, false}, {8'320'127, false}, {8'320'128, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sizeBefore);
        WriteFileBytes(dir / "QLKLOG.TXT", std::string(c.sizeBefore, 'x'));
        log.WriteLog("entry", 1);
        if (c.deleted) {
            EXPECT_FALSE(fs::exists(dir / "QLKLOG.TXT"));
            log.WriteLog("next", 1);
            EXPECT_EQ(LogFile(), "TS : next\r\n");
        } else {
            EXPECT_EQ(fs::file_size(dir / "QLKLOG.TXT"), c.sizeBefore + std::string("TS : entry\r\n").size());
        }
    }
}

TEST_F(StatusLogTest, BusyLineIsSpottedInEveryMessageRecordedOrNot) {
    struct Case {
        std::string msg;
        int level;
        bool busy;
    } cases[] = {
        {"The Line Is Busy", 2, true},
        {"Dial-Up : THE LINE IS BUSY.", 1, true},
        {"Subject: the line is busy again", 3, true},
        {"the line is", 1, false},
        {"line busy", 0, false},
    };
    log.DetailLevel = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.msg);
        int calls = 0;
        log.OnLineBusy = [&] { ++calls; };
        log.WriteLog(c.msg, c.level);
        EXPECT_EQ(calls, c.busy ? 1 : 0);
    }
}

TEST_F(StatusLogTest, UnwritableLogFileIsReportedOnceAndTheLogGoesOn) {
    log.LogFileName = "missing/QLKLOG.TXT";
    for (int i = 0; i < 3; ++i) log.WriteLog("line " + std::to_string(i), 1);
    const std::string report = "TS : Cannot write the log file missing/QLKLOG.TXT: No such file or directory";
    std::vector<std::string> texts;
    for (const auto& line : log.Lines()) texts.push_back(line.text);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), report), 1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "TS : line 2"), 1);
    EXPECT_EQ(log.ErrorCount, 1);

    fs::create_directory(dir / "missing");
    log.WriteLog("works", 1);
    EXPECT_EQ(ReadFileBytes(dir / "missing/QLKLOG.TXT"), "TS : works\r\n");
    fs::remove_all(dir / "missing");
    log.WriteLog("fails again", 1);
    texts.clear();
    for (const auto& line : log.Lines()) texts.push_back(line.text);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), report), 2);
}

TEST_F(StatusLogTest, ViewThatThrowsDoesNotReachTheCaller) {
    struct ThrowingView : LogView {
        void LogCleared() override {}
        void LineAdded(const LogLine&) override { throw std::runtime_error("window gone"); }
    } throwing;
    log.SetView(&throwing);
    EXPECT_NO_THROW(log.WriteLog("x", 1));
    log.OnLineBusy = [] { throw std::runtime_error("timer gone"); };
    EXPECT_NO_THROW(log.WriteLog("the line is busy", 1));
}

TEST_F(StatusLogTest, RtfFileMirrorsTheWindowAfterEveryLine) {
    log.WriteLog("one {braces} and \\ backslash", 1);
    log.WriteLog("caf\xe9", 2);
    EXPECT_EQ(ReadFileBytes(dir / "QLKLOG.RTF"), log.RichText());
    log.WriteLog("three", 0);
    EXPECT_EQ(ReadFileBytes(dir / "QLKLOG.RTF"), log.RichText());

    log.Clear(false);
    EXPECT_TRUE(fs::exists(dir / "QLKLOG.TXT"));
    log.WriteLog("after clear", 3);
    EXPECT_EQ(ReadFileBytes(dir / "QLKLOG.RTF"), log.RichText());
    EXPECT_EQ(log.Lines().size(), 1u);
}

TEST_F(StatusLogTest, WithAFlushIntervalTheRtfWaitsButTheLogFileAndErrorsDoNot) {
    log.FlushInterval = std::chrono::hours(1);
    log.WriteLog("first", 1);
    const std::string afterFirst = log.RichText();
    log.WriteLog("second", 1);
    EXPECT_EQ(ReadFileBytes(dir / "QLKLOG.RTF"), afterFirst);
    EXPECT_EQ(LogFile(), "TS : first\r\nTS : second\r\n");
    log.WriteLog("third", 0);
    EXPECT_EQ(ReadFileBytes(dir / "QLKLOG.RTF"), log.RichText());
    log.WriteLog("fourth", 1);
    log.Flush();
    EXPECT_EQ(ReadFileBytes(dir / "QLKLOG.RTF"), log.RichText());

    // The file is found again by its name once the interval has passed.
    fs::remove(dir / "QLKLOG.TXT");
    log.FlushInterval = std::chrono::milliseconds(0);
    log.WriteLog("fifth", 1);
    EXPECT_EQ(LogFile(), "TS : fifth\r\n");
}

TEST_F(StatusLogTest, RtfFileChangedBehindOurBackIsWrittenWhole) {
    log.WriteLog("one", 1);
    WriteFileBytes(dir / "QLKLOG.RTF", "{\\rtf1 something else entirely}");
    log.WriteLog("two", 1);
    EXPECT_EQ(ReadFileBytes(dir / "QLKLOG.RTF"), log.RichText());
    fs::remove(dir / "QLKLOG.RTF");
    log.WriteLog("three", 1);
    EXPECT_EQ(ReadFileBytes(dir / "QLKLOG.RTF"), log.RichText());
}

TEST_F(StatusLogTest, RestoreBringsBackLinesAndColoursAndAppendsAfterThem) {
    log.WriteLog("error \\{x}", 0);
    log.WriteLog("tab\there \xe2\x82\xac \xc5\x81 \xf0\x9f\x98\x80", 2);
    log.WriteLog("", 3);
    std::vector<LogLine> before = log.Lines();

    StatusLog next(dir.path());
    next.Clock = [] { return std::string("TS"); };
    RecordingView nextView;
    next.SetView(&nextView);
    next.RestoreFromRtf();
    EXPECT_EQ(next.Lines(), before);
    EXPECT_EQ(nextView.lines, before);
    next.WriteLog("later", 1);
    EXPECT_EQ(ReadFileBytes(dir / "QLKLOG.RTF"), next.RichText());
}

TEST_F(StatusLogTest, RestoreIgnoresMissingOrForeignFiles) {
    log.RestoreFromRtf();
    EXPECT_TRUE(log.Lines().empty());
    WriteFileBytes(dir / "QLKLOG.RTF", std::string("\0\1\2 not rtf", 11));
    log.RestoreFromRtf();
    EXPECT_TRUE(log.Lines().empty());
    log.WriteLog("new", 1);
    EXPECT_EQ(ReadFileBytes(dir / "QLKLOG.RTF"), log.RichText());
}

}  // namespace
}  // namespace qlk
