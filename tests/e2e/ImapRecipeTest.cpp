#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "support/Peers.h"

namespace qlk::test {
namespace {

namespace fs = std::filesystem;

// The Unix user the gateway runs as here; Dovecot reads the mail as that user.
constexpr uid_t kOfficeUser = 65534;

// Dovecot set up with the recipe the package ships, reading its users from
// the passwd-file `qlkpo imap-passwd` writes.
class ImapRecipePeer : public PeerProcess {
public:
    static std::unique_ptr<ImapRecipePeer> Start(const fs::path& passwd, std::string& why) {
        std::unique_ptr<ImapRecipePeer> peer(new ImapRecipePeer());
        if (!peer->Launch("start_dovecot_imap.sh", Quoted(QLK_DOVECOT_RECIPE) + " " + Quoted(passwd), why))
            return nullptr;
        return peer;
    }

private:
    ImapRecipePeer() : PeerProcess("run/master.pid") {}
};

struct ProgramRun {
    int status;
    std::string output;  // stdout and stderr together
};

// Runs a program in `folder`, as the office's user when `asOffice`.
ProgramRun RunIn(const fs::path& folder, const std::vector<std::string>& arguments, bool asOffice) {
    std::string command = "cd " + Quoted(folder) + " && exec";
    const std::string office = std::to_string(kOfficeUser);
    if (asOffice) command += " setpriv --reuid=" + office + " --regid=" + office + " --clear-groups";
    for (const std::string& argument : arguments) command += " " + Quoted(argument);
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {-1, "cannot start " + command};
    std::string output;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

void GiveToOffice(const fs::path& folder) {
    ASSERT_EQ(::chown(folder.c_str(), kOfficeUser, kOfficeUser), 0);
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        ASSERT_EQ(::lchown(entry.path().c_str(), kOfficeUser, kOfficeUser), 0) << entry.path();
}

std::string Check(const ImapRecipePeer& imap, const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"/usr/bin/python3", QLK_IMAP_CHECK, std::to_string(imap.Port()),
                                        "Alice Smith", "pw: Alice 1"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const ProgramRun run = RunIn("/", command, false);
    return run.status == 0 ? "" : run.output;
}

std::string Message(const std::string& subjectWords, const std::string& attachment) {
    std::string text =
        "From: =?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <juergen@example.de>\r\n"
        "To: Alice Smith <alice@example.org>\r\n"
        "Date: Tue, 08 Dec 2026 09:30:00 +0100\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n";
    text += "Subject: " + subjectWords + "\r\n\r\n";
    text +=
        "--b1\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
        "Hallo Alice, anbei die Zahlen.\r\n";
    text += "--b1\r\nContent-Type: application/vnd.ms-excel; name=\"" + attachment + "\"\r\n";
    text += "Content-Disposition: attachment; filename=\"" + attachment + "\"\r\n";
    return text + "Content-Transfer-Encoding: base64\r\n\r\nAAECAwQFBgcICQ==\r\n--b1--\r\n";
}

// The README's recipe end to end: the gateway brings mail into the post
// office as the office's user, `qlkpo imap-passwd` lists the mailboxes for
// Dovecot, and an IMAP program logs in with the mailbox's name and password,
// reads the message whole, and marks it read where qlkpo sees it.
TEST(ImapRecipe, MailTheGatewayBringsInIsReadOverImap) {
    QLK_NEED_PEER(::geteuid() == 0, "Dovecot reads mail as the office's user only when started as root");
    std::string why;
    auto pop = DovecotPeer::Start("alice", "pw-alice", why);
    QLK_NEED_PEER(pop, why);
    pop->AddMessage(Message("=?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?=", "figures-Q3.xls"));

    TempDir work;
    PrepareWorkFolder(work.path(), {MailboxRow("Alice Smith", pop->Address(), "alice", "pw-alice")}, {});
    PostOffice office(work / "postoffice");
    office.AddMailbox("Alice Smith", "pw: Alice 1");
    office.AddMailbox("Team:Sales", "secret");
    ASSERT_EQ(::chmod(work.path().c_str(), 0755), 0);
    GiveToOffice(work.path());
    // Copies the office's user can run wherever the build tree lies.
    TempDir programs;
    ASSERT_EQ(::chmod(programs.path().c_str(), 0755), 0);
    for (const char* program : {QLK_QUELMARK, QLK_QLKPO})
        fs::copy_file(program, programs / fs::path(program).filename());
    const std::vector<std::string> once = {(programs / "quelmark").string(), "--once"};
    const std::vector<std::string> inbox = {(programs / "qlkpo").string(), "inbox", "Alice Smith"};
    ASSERT_EQ(RunIn(work.path(), once, true).status, 0) << ReadFileBytes(work / "QLKLOG.TXT");

    // As root, as the README has it: a file for Dovecot's group, then the list.
    TempDir auth;
    ASSERT_EQ(::chmod(auth.path().c_str(), 0755), 0);
    const fs::path passwd = auth / "quelmark.passwd";
    const std::string give = "install -m 640 -g dovecot /dev/null " + Quoted(passwd);
    ASSERT_EQ(std::system(give.c_str()), 0);
    const ProgramRun listed =
        RunIn(work.path(), {QLK_QLKPO, "-C", work.path().string(), "imap-passwd", passwd.string()}, false);
    ASSERT_EQ(listed.status, 0) << listed.output;
    for (const char* line : {"Alice Smith\tlog-in \"alice smith\"", "left out Internet: it has no password",
                             "left out Team:Sales: its name holds \":\""})
        EXPECT_NE(listed.output.find(line), std::string::npos) << line << " in " << listed.output;
    struct stat kept {};
    ASSERT_EQ(::stat(passwd.c_str(), &kept), 0);
    EXPECT_EQ(kept.st_mode & 07777, 0640u);
    EXPECT_EQ(kept.st_gid, ::getgrnam("dovecot")->gr_gid);

    auto imap = ImapRecipePeer::Start(passwd, why);
    QLK_NEED_PEER(imap, why);
    // Mail the gateway brings in comes from its own mailbox, "Internet"; the
    // Internet sender is named in the information block of the text.
    EXPECT_EQ(
        Check(*imap, {"read", "1", "Grüße aus Köln", "Internet", "figures-Q3.xls", "juergen@example.de"}),
        "");
    EXPECT_NE(RunIn(work.path(), inbox, true).output.find("\tU\t"), std::string::npos);
    EXPECT_EQ(Check(*imap, {"seen", "Grüße aus Köln"}), "");

    // Dovecot's own files in the mailbox do not disturb the next delivery.
    pop->AddMessage(Message("Second figures", "figures-Q4.xls"));
    ASSERT_EQ(RunIn(work.path(), once, true).status, 0) << ReadFileBytes(work / "QLKLOG.TXT");
    EXPECT_EQ(Check(*imap, {"read", "2", "Second figures", "Internet", "figures-Q4.xls", "Hallo Alice"}), "");
    const std::string shown = RunIn(work.path(), inbox, true).output;
    EXPECT_NE(shown.find("\t-\tInternet\tGrüße aus Köln"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\tU\tInternet\tSecond figures"), std::string::npos) << shown;
    EXPECT_EQ(Check(*imap, {"refused"}), "");
}

}  // namespace
}  // namespace qlk::test
