// qlkpo end to end: the built program run as an operator runs it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace qlk {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string ShellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct ToolRun {
    int status;
    std::string output;  // stdout and stderr together
};

ToolRun Qlkpo(const std::filesystem::path& folder, const std::vector<std::string>& words) {
    std::string command = std::string(QLKPO_PATH) + " -C " + ShellQuoted(folder.string());
    for (const std::string& word : words) command += " " + ShellQuoted(word);
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {-1, "cannot start qlkpo"};
    std::string output;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

struct Step {
    std::vector<std::string> words;
    int status;
    std::string output;  // a part of what it prints
};

TEST(QlkpoTest, AdministersThePostOfficeAndRefusesBadInput) {
    TempDir work;
    const std::filesystem::path office = work / "office";
    WriteFileBytes(work / "report.txt", "line one\nline two\n");
    WriteFileBytes(work / "note.txt", std::string("caf\xe9\r\nsecond line"));
    const std::string report = (work / "report.txt").string();
    // A path longer than 255 bytes still names its file.
    const std::filesystem::path deep = work / std::string(200, 'd') / (std::string(100, 'f') + ".txt");
    std::filesystem::create_directories(deep.parent_path());
    WriteFileBytes(deep, "deep\n");
    const std::string out = (work / "saved").string();

    EXPECT_NE(std::string::npos, Qlkpo(work.path(), {"list"}).output.find("No post office in"));
    ASSERT_EQ(0, Qlkpo(work.path(), {"init", office.string()}).status);
    const std::vector<Step> before = {
        {{"add", "Bob", "--password", "pw"}, 0, ""},
        {{"add", "Alice Smith"}, 0, ""},
        {{"add", "bob"}, 1, "Mailbox already exists"},
        {{"add", ""}, 1, "Not a valid mailbox name"},
        {{"add", "a/b"}, 1, "Not a valid mailbox name"},
        {{"add", ".hidden"}, 1, "Not a valid mailbox name"},
        {{"add", "tab\there"}, 1, "Not a valid mailbox name: \"tab?here\""},
        {{"add", std::string(256, 'n')}, 1, "Not a valid mailbox name"},
        {{"add", "Carl", "--password"}, 1, "--password needs a value"},
        {{"add", "Carl", "--colour", "red"}, 1, "unknown option --colour"},
        {{"send", "--from", "Bob", "--to", "alice smith", "Internet", "--subject", "Figures", "--text-file",
          (work / "note.txt").string(), "--attach", report},
         0,
         ""},
        {{"send", "--from", "Bob", "--to", "Nobody", "--subject", "x"}, 1, "No such mailbox: \"Nobody\""},
        {{"send", "--from", "Nobody", "--to", "Bob", "--subject", "x"}, 1, "No such mailbox: \"Nobody\""},
        {{"send", "--from", "Bob", "--to", "Bob", "--subject", "x", "--text", "a", "--text-file", report},
         1,
         "not both"},
        {{"send", "--from", "Bob", "--to", "Bob", "--subject", "x", "--attach", "/no/such"},
         1,
         "No such file"},
        {{"send", "--from", "Bob", "--subject", "x"}, 1, "--to is required"},
        {{"send", "--from", "Alice Smith", "--to", "Bob", "--subject", "deep", "--attach", deep.string()},
         0,
         ""},
        {{"send", "--from", "Alice Smith", "--to", "Bob", "--cc", "../x", "--subject", "x"},
         1,
         "Not a valid mailbox name"},
        {{"list"},
         0,
         "Alice Smith\t1 unread\t1 total\nBob\t1 unread\t1 total\nInternet\t1 unread\t1 total\n"},
        {{"frobnicate"}, 1, "usage: qlkpo"},
    };
    for (const Step& step : before) {
        const ToolRun run = Qlkpo(office, step.words);
        EXPECT_EQ(step.status, run.status) << step.words[0] << ": " << run.output;
        EXPECT_NE(std::string::npos, run.output.find(step.output)) << step.words[0] << ": " << run.output;
    }
    struct stat info {};
    ASSERT_EQ(0, ::stat((office / "MAPI.INI").c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777);

    const ToolRun inbox = Qlkpo(office, {"inbox", "Alice Smith"});
    ASSERT_EQ(0, inbox.status) << inbox.output;
    const std::string id = inbox.output.substr(0, inbox.output.find('\t'));
    EXPECT_EQ(id + "\tU\tBob\tFigures\treport.txt\n", inbox.output);

    const std::vector<Step> after = {
        {{"show", "Alice Smith", id, "--save-attachments", out},
         0,
         "From: Bob\nTo: Alice Smith, Internet\nSubject: Figures\n"},
        {{"show", "alice smith", id}, 0, "\n\ncaf\xe9\r\nsecond line\n"},
        {{"show", "Alice Smith", id, "--save-attachments", out}, 1, "Cannot save"},
        {{"show", "Alice Smith", "../Internet/new/" + id}, 1, "No message"},
        {{"show", "Bob", id}, 1, "No message"},
        {{"remove", "Alice Smith"}, 1, "still holds 1 messages"},
        {{"remove", "alice smith", "--force"}, 0, ""},
        {{"remove", "Alice Smith"}, 1, "No such mailbox"},
        {{"list"}, 0, "Bob\t1 unread\t1 total\nInternet\t1 unread\t1 total\n"},
    };
    for (const Step& step : after) {
        const ToolRun run = Qlkpo(office, step.words);
        EXPECT_EQ(step.status, run.status) << step.words[0] << ": " << run.output;
        EXPECT_NE(std::string::npos, run.output.find(step.output)) << step.words[0] << ": " << run.output;
    }
    EXPECT_EQ(ReadFileBytes(report), ReadFileBytes(work / "saved" / "report.txt"));
}

}  // namespace
}  // namespace qlk
