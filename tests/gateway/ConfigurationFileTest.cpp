#include "gateway/ConfigurationFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "support/ChangedSettings.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;
namespace fs = std::filesystem;

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::string JoinCrLf(const std::vector<std::string>& lines, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count && i < lines.size(); ++i) text += lines[i] + "\r\n";
    return text;
}

Settings Changed() {
    return test::SettingsWithEveryFieldChanged();
}

class ConfigurationFileTest : public ::testing::Test {
protected:
    ConfigurationFileTest()
        : log(dir.path()), config(dir.path(), log, [this](const std::string& m) { messages.push_back(m); }) {
        log.Clock = [] { return std::string("TS"); };
    }

    Settings ReadFrom(const std::string& content) {
        WriteFileBytes(dir / "QLK.CFG", content);
        return Read();
    }
    Settings Read() {
        messages.clear();
        log.ErrorCount = 0;
        Settings s;
        config.ReadConfiguration(s);
        return s;
    }
    std::vector<std::string> ChangedLines() { return SplitCrLf(ConfigurationFile::Format(Changed())); }
    bool ReportedOnce() {
        return messages == std::vector<std::string>{ConfigurationFile::ReadErrorText} && log.ErrorCount == 1;
    }

    TempDir dir;
    StatusLog log;
    std::vector<std::string> messages;
    ConfigurationFile config;
};

TEST_F(ConfigurationFileTest, DefaultsAreWrittenAsFiftySevenCrLfLines) {
    std::string text = ConfigurationFile::Format(Settings{});
    std::vector<std::string> lines = SplitCrLf(text);
    ASSERT_EQ(lines.size(), 57u);
    EXPECT_EQ(text.size(), JoinCrLf(lines, 57).size());
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
    EXPECT_EQ(lines[0], " This is the Configuration file for Quelmark");
    EXPECT_EQ(lines[4], "8.32");
    EXPECT_EQ(lines[6], "0");
    EXPECT_EQ(lines[8], "15");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 10, lines.begin() + 17),
              (std::vector<std::string>{"1", "1", "1", "1", "1", "0", "0"}));
    EXPECT_EQ(lines[17].rfind("Start Time : ", 0), 0u);
    EXPECT_EQ(lines[18], "35629.3333333333");
    EXPECT_EQ(lines[20], "35629.75");
    EXPECT_EQ(lines[24], "QLKLOG.TXT");
    EXPECT_EQ(lines[27], "Log Detail Level : 0=Errors, 1=Standard, 2= Detailed 3=Debug");
    EXPECT_EQ(lines[28], "3");
    EXPECT_EQ(lines[33], "Default Mailbox");
    EXPECT_EQ(lines[46], "1");
    EXPECT_EQ(lines[48], "268435456");
    EXPECT_EQ(lines[50], "");
    EXPECT_EQ(lines[52], "");
    EXPECT_EQ(lines[54], "10000");
    EXPECT_EQ(lines[56], "0");
}

TEST_F(ConfigurationFileTest, SavedSettingsReadBackUnchanged) {
    config.SaveConfiguration(Changed());
    Settings read = Read();
    EXPECT_EQ(read, Changed());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(log.ErrorCount, 0);
    std::string first = ReadFileBytes(dir / "QLK.CFG");
    config.SaveConfiguration(read);
    EXPECT_EQ(ReadFileBytes(dir / "QLK.CFG"), first);
    std::erase(first, '\r');
    EXPECT_EQ(ReadFrom(first), Changed());  // bare LF line ends read the same
}

TEST_F(ConfigurationFileTest, ValuesAreConvertedAndClamped) {
    struct Case {
        int line;  // 1-based
        std::string value;
        std::function<bool(const Settings&)> check;
    } cases[] = {
        {7, "3", [](const Settings& s) { return s.ConnectionIndex == 3; }},
        {7, "-1", [](const Settings& s) { return s.ConnectionIndex == -1; }},
        {9, "0", [](const Settings& s) { return s.DelayMinutes == 1; }},
        {9, "5000", [](const Settings& s) { return s.DelayMinutes == 999; }},
        {9, "-7", [](const Settings& s) { return s.DelayMinutes == 1; }},
        {9, " 30", [](const Settings& s) { return s.DelayMinutes == 30; }},
        {11, "2", [](const Settings& s) { return !s.Days[0]; }},
        {17, "1", [](const Settings& s) { return s.Days[6]; }},
        {19, "1.5", [](const Settings& s) { return s.StartTime == 12 * 3600; }},
        {19, "35630.25", [](const Settings& s) { return s.StartTime == 6 * 3600; }},
        {19, "0", [](const Settings& s) { return s.StartTime == 0; }},
        {19, "-1.75", [](const Settings& s) { return s.StartTime == 18 * 3600; }},
        {19, "35629.99999999999", [](const Settings& s) { return s.StartTime == 0; }},
        {21, "3.5E1", [](const Settings& s) { return s.StopTime == 0; }},
        {23, "2", [](const Settings& s) { return !s.LogToFile; }},
        {27, "2", [](const Settings& s) { return !s.TimestampInWindow; }},
        {29, "7", [](const Settings& s) { return s.LogDetailLevel == 3; }},
        {29, "-5", [](const Settings& s) { return s.LogDetailLevel == -1; }},
        {37, "1", [](const Settings& s) { return s.DeleteMailFromMAPI; }},
        {43, "2", [](const Settings& s) { return s.CCAdmin; }},
        {45, "-1", [](const Settings& s) { return s.ShowInternetHeaders; }},
        {47, "0", [](const Settings& s) { return !s.AutoUpdate; }},
        {25, " spaced name ", [](const Settings& s) { return s.LogFileName == " spaced name "; }},
        {49, "0", [](const Settings& s) { return s.MessageSizeLimit == 1; }},
        {49, "99999999999", [](const Settings& s) { return s.MessageSizeLimit == Settings::MaxMessageSizeLimit; }},
        {55, "0", [](const Settings& s) { return s.MaxMessagesPerSession == 1; }},
        {55, "99999999999",
         [](const Settings& s) { return s.MaxMessagesPerSession == Settings::MaxMessagesPerSessionLimit; }},
        {57, "1", [](const Settings& s) { return s.KeepMessageCopies; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("line " + std::to_string(c.line) + " = '" + c.value + "'");
        std::vector<std::string> lines = SplitCrLf(ConfigurationFile::Format(Settings{}));
        lines[static_cast<std::size_t>(c.line - 1)] = c.value;
        Settings s = ReadFrom(JoinCrLf(lines, lines.size()));
        EXPECT_TRUE(c.check(s));
        EXPECT_TRUE(messages.empty());
    }
}

TEST_F(ConfigurationFileTest, BadValueEndsReadingButKeepsWhatWasRead) {
    struct Case {
        int line;
        std::string value;
    } cases[] = {
        {7, ""},       {7, "x"},     {9, "12abc"}, {9, "99999999999"}, {9, "1.5"},
        {13, "yes"},   {19, "8:00"}, {19, "nan"},  {19, "inf"},        {19, "1e999"},
        {19, "0x1p3"}, {21, ""},     {29, "3 "},   {37, "true"},       {47, "-"},
    };
    const std::vector<std::string> full = ChangedLines();
    for (const auto& c : cases) {
        SCOPED_TRACE("line " + std::to_string(c.line) + " = '" + c.value + "'");
        std::vector<std::string> lines = full;
        lines[static_cast<std::size_t>(c.line - 1)] = c.value;
        Settings s = ReadFrom(JoinCrLf(lines, lines.size()));
        EXPECT_TRUE(ReportedOnce());
        Settings changed = Changed();
        if (c.line > 7) {
            EXPECT_EQ(s.ConnectionIndex, changed.ConnectionIndex);
        }
        EXPECT_EQ(s.AutoUpdate, Settings{}.AutoUpdate);
        if (c.line < 37) {
            EXPECT_EQ(s.AdminMAPIName, "");
        }
    }
}

// A bad line is reported the way the lines read before it set up the log.
TEST(ConfigurationFileLog, ErrorObeysTheLogSettingsReadBeforeIt) {
    const std::string error = ConfigurationFile::ReadErrorText;
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::string>> lines;  // 1-based line, value; line 37 is bad in all
        const char* windowLine;                          // nullptr: not shown
        const char* logFile;                             // nullptr: in no file
    } cases[] = {
        {"log to file off", {{23, "0"}}, "TS : ", nullptr},
        {"another log file", {{25, "other.log"}}, "TS : ", "other.log"},
        {"no timestamp in the window", {{27, "0"}}, "", "QLKLOG.TXT"},
        {"errors only", {{29, "0"}}, "TS : ", "QLKLOG.TXT"},
        {"nothing selected", {{29, "-1"}, {23, "1"}}, nullptr, nullptr},
        {"bad line before the log settings", {{9, "x"}, {23, "0"}, {29, "-1"}}, "TS : ", "QLKLOG.TXT"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        StatusLog log(folder.path());
        log.Clock = [] { return std::string("TS"); };
        ConfigurationFile config(folder.path(), log, nullptr);
        std::vector<std::string> lines = SplitCrLf(ConfigurationFile::Format(Settings{}));
        lines[36] = "bad";
        for (const auto& [line, value] : c.lines) lines[static_cast<std::size_t>(line - 1)] = value;
        WriteFileBytes(folder / "QLK.CFG", JoinCrLf(lines, lines.size()));
        Settings settings;
        config.ReadConfiguration(settings);

        std::vector<std::string> shown;
        for (const auto& line : log.Lines()) shown.push_back(line.text);
        if (c.windowLine) {
            EXPECT_EQ(shown, (std::vector<std::string>{"********** ERROR *********", c.windowLine + error,
                                                       "**********"}));
        } else {
            EXPECT_TRUE(shown.empty());
        }
        EXPECT_EQ(log.ErrorCount, 1);
        for (const char* file : {"QLKLOG.TXT", "other.log"}) {
            const bool expected = c.logFile && std::string(c.logFile) == file;
            EXPECT_EQ(
                fs::exists(folder / file) && ReadFileBytes(folder / file).find(error) != std::string::npos,
                expected)
                << file;
        }
    }
}

// Where each value sits and whether it must parse as a number.
struct Field {
    int line;
    bool number;
    std::function<void(Settings&, const Settings&)> copy;
};

std::vector<Field> Fields() {
    std::vector<Field> fields = {
        {7, true, [](Settings& s, const Settings& f) { s.ConnectionIndex = f.ConnectionIndex; }},
        {9, true, [](Settings& s, const Settings& f) { s.DelayMinutes = f.DelayMinutes; }},
    };
    for (std::size_t d = 0; d < 7; ++d)
        fields.push_back(
            {static_cast<int>(11 + d), true, [d](Settings& s, const Settings& f) { s.Days[d] = f.Days[d]; }});
    std::vector<Field> rest = {
        {19, true, [](Settings& s, const Settings& f) { s.StartTime = f.StartTime; }},
        {21, true, [](Settings& s, const Settings& f) { s.StopTime = f.StopTime; }},
        {23, true, [](Settings& s, const Settings& f) { s.LogToFile = f.LogToFile; }},
        {25, false, [](Settings& s, const Settings& f) { s.LogFileName = f.LogFileName; }},
        {27, true, [](Settings& s, const Settings& f) { s.TimestampInWindow = f.TimestampInWindow; }},
        {29, true, [](Settings& s, const Settings& f) { s.LogDetailLevel = f.LogDetailLevel; }},
        {31, false, [](Settings& s, const Settings& f) { s.SMTPServer = f.SMTPServer; }},
        {33, false, [](Settings& s, const Settings& f) { s.DefaultPOP3Server = f.DefaultPOP3Server; }},
        {35, false, [](Settings& s, const Settings& f) { s.DialupPassword = f.DialupPassword; }},
        {37, true, [](Settings& s, const Settings& f) { s.DeleteMailFromMAPI = f.DeleteMailFromMAPI; }},
        {39, false, [](Settings& s, const Settings& f) { s.AdminInternetAddress = f.AdminInternetAddress; }},
        {41, false, [](Settings& s, const Settings& f) { s.AdminMAPIName = f.AdminMAPIName; }},
        {43, true, [](Settings& s, const Settings& f) { s.CCAdmin = f.CCAdmin; }},
        {45, true, [](Settings& s, const Settings& f) { s.ShowInternetHeaders = f.ShowInternetHeaders; }},
        {47, true, [](Settings& s, const Settings& f) { s.AutoUpdate = f.AutoUpdate; }},
        {49, true, [](Settings& s, const Settings& f) { s.MessageSizeLimit = f.MessageSizeLimit; }},
        {51, false, [](Settings& s, const Settings& f) { s.SMTPRelayUser = f.SMTPRelayUser; }},
        {53, false, [](Settings& s, const Settings& f) { s.SMTPRelayPassword = f.SMTPRelayPassword; }},
        {55, true, [](Settings& s, const Settings& f) { s.MaxMessagesPerSession = f.MaxMessagesPerSession; }},
        {57, true, [](Settings& s, const Settings& f) { s.KeepMessageCopies = f.KeepMessageCopies; }},
    };
    fields.insert(fields.end(), rest.begin(), rest.end());
    return fields;
}

TEST_F(ConfigurationFileTest, FileCutOffAfterAnyLine) {
    const std::vector<std::string> full = ChangedLines();
    Settings emptyLines;
    emptyLines.LogFileName.clear();
    for (int kept = 0; kept <= ConfigurationFile::LineCount; ++kept) {
        SCOPED_TRACE("lines kept: " + std::to_string(kept));
        // Past the end every line reads empty: a text value becomes empty, a
        // number fails; reading stops at the first place where an earlier
        // version ended its files, so a file that ends there is whole.
        const auto* stop = std::ranges::find_if(ConfigurationFile::EarlierLineCounts,
                                                [kept](int lines) { return lines >= kept; });
        const int lastRead = stop == ConfigurationFile::EarlierLineCounts.end() ? ConfigurationFile::LineCount : *stop;
        Settings expected;
        bool fails = false;
        for (const auto& field : Fields()) {
            if (field.line > lastRead) break;
            if (field.line <= kept) {
                field.copy(expected, Changed());
            } else if (field.number) {
                fails = true;
                break;
            } else {
                field.copy(expected, emptyLines);
            }
        }
        std::string content = JoinCrLf(full, static_cast<std::size_t>(kept));
        EXPECT_EQ(ReadFrom(content), expected);
        EXPECT_EQ(fails ? ReportedOnce() : messages.empty(), true);
        if (kept == 0) continue;
        // The same cut without the last line end reads the same.
        content.resize(content.size() - 2);
        EXPECT_EQ(ReadFrom(content), expected);
    }
}

TEST_F(ConfigurationFileTest, MissingFileOrAFolderIsReportedOnceAndDefaultsStay) {
    EXPECT_EQ(Read(), Settings{});
    EXPECT_TRUE(ReportedOnce());
    ASSERT_EQ(log.Lines().size(), 3u);
    EXPECT_EQ(log.Lines()[1].text, std::string("TS : ") + ConfigurationFile::ReadErrorText);
    fs::create_directory(dir / "QLK.CFG");
    EXPECT_EQ(Read(), Settings{});
    EXPECT_TRUE(ReportedOnce());
}

TEST_F(ConfigurationFileTest, DamagedFilesAreReportedOnceWithDefaultsForTheRest) {
    std::mt19937 random(7);
    std::string garbage(64 * 1024, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    std::vector<std::string> withLongLabel = ChangedLines();
    withLongLabel[0] = std::string(10 * 1024 * 1024, 'L');
    std::vector<std::string> withLongValue = ChangedLines();
    withLongValue[24] = std::string(10 * 1024 * 1024, 'v');
    std::vector<std::string> withNul = ChangedLines();
    withNul[30] = std::string("smtp\0host", 9);

    struct Case {
        std::string name;
        std::string content;
        std::function<bool(const Settings&)> check;
    } cases[] = {
        {"binary garbage", garbage, [](const Settings& s) { return s.DelayMinutes == 15 && s.AutoUpdate; }},
        {"10 MB first line", JoinCrLf(withLongLabel, 49), [](const Settings& s) { return s == Settings{}; }},
        {"10 MB log file name", JoinCrLf(withLongValue, 49),
         [](const Settings& s) {
             return s.LogDetailLevel == 3 && s.LogFileName == "QLKLOG.TXT" && !s.LogToFile;
         }},
        {"NUL in a value", JoinCrLf(withNul, 49),
         [](const Settings& s) { return s.SMTPServer.empty() && s.LogDetailLevel == 1; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.check(ReadFrom(c.content)));
        EXPECT_TRUE(ReportedOnce());
    }
    config.SaveConfiguration(Read());
    EXPECT_EQ(SplitCrLf(ReadFileBytes(dir / "QLK.CFG")).size(), 57u);
}

TEST_F(ConfigurationFileTest, SaveReplacesTheFileOwnerReadableOnlyAndLogs) {
    WriteFileBytes(dir / "QLK.CFG", "old");
    chmod((dir / "QLK.CFG").c_str(), 0644);
    config.SaveConfiguration(Changed());
    struct stat st {};
    ASSERT_EQ(stat((dir / "QLK.CFG").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadFileBytes(dir / "QLK.CFG"), ConfigurationFile::Format(Changed()));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 3);  // QLK.CFG, QLKLOG.TXT, QLKLOG.RTF: no temporary file left over
    ASSERT_EQ(log.Lines().size(), 2u);
    EXPECT_EQ(log.Lines()[0], (LogLine{"TS : Saving Config File", LogColor::Green}));
    EXPECT_EQ(log.Lines()[1], (LogLine{"TS : Finished Saving Config File", LogColor::Green}));
}

TEST_F(ConfigurationFileTest, LineBreaksInValuesCannotShiftTheLines) {
    Settings s = Changed();
    s.SMTPServer = "smtp\r\nexample";
    s.AdminMAPIName = "Ad\nmin";
    config.SaveConfiguration(s);
    EXPECT_EQ(SplitCrLf(ReadFileBytes(dir / "QLK.CFG")).size(), 57u);
    Settings read = Read();
    EXPECT_EQ(read.SMTPServer, "smtpexample");
    EXPECT_EQ(read.AutoUpdate, s.AutoUpdate);
}

TEST_F(ConfigurationFileTest, SaveIntoAMissingFolderThrows) {
    StatusLog elsewhere(dir / "gone");
    ConfigurationFile lost(dir / "gone", elsewhere, nullptr);
    EXPECT_THROW(lost.SaveConfiguration(Settings{}), Exception);
}

TEST_F(ConfigurationFileTest, FileNameIsMatchedInAnyLetterCase) {
    for (std::string name : {"qlk.cfg", "Qlk.Cfg"}) {
        SCOPED_TRACE(name);
        TempDir folder;
        StatusLog quiet(folder.path());
        ConfigurationFile other(folder.path(), quiet, nullptr);
        WriteFileBytes(folder / name, ConfigurationFile::Format(Changed()));
        Settings s;
        other.ReadConfiguration(s);
        EXPECT_EQ(s, Changed());
        other.SaveConfiguration(Settings{});
        EXPECT_FALSE(fs::exists(folder / "QLK.CFG"));
        EXPECT_EQ(ReadFileBytes(folder / name), ConfigurationFile::Format(Settings{}));
    }
}

}  // namespace
}  // namespace qlk
