#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "GatewayScene.h"
#include "gateway/Gateway.h"
#include "gateway/LogView.h"
#include "gateway/RememberedMessages.h"
#include "gateway/UsersDatabase.h"
#include "mapi/MaildirFolder.h"
#include "mapi/PostOffice.h"
#include "support/Pop3MailboxServer.h"
#include "support/TempDir.h"

namespace qlk::test {
namespace {

namespace fs = std::filesystem;

// Ends the process the moment the status log shows a given line: the test's
// way of dying at one exact instant of a delivery.
class KillAtLine : public LogView {
public:
    explicit KillAtLine(std::string line) : line_(std::move(line)) {}
    void LogCleared() override {}
    void LineAdded(const LogLine& line) override {
        if (line.text == line_) ::kill(::getpid(), SIGKILL);
    }

private:
    std::string line_;
};

// A working folder with a real post office (Ann, Admin), Ann's row deleting
// her mail with the administrator's copy on, and two messages on the server.
struct Office {
    TempDir work;
    Pop3MailboxServer pop;

    Office() {
        PostOffice office = PostOffice::Create(work.path());
        office.AddMailbox("Ann");
        office.AddMailbox("Admin");
        pop.AddUser("ann", "secret");
        for (const char* subject : {"m1", "m2"})
            pop.AddMessage("ann", std::string("From: zoe@example.net\r\nSubject: ") + subject + "\r\n\r\nhi\r\n");
        UserRecord row = Row("Ann", "ann");
        row.popHost = pop.Host();
        row.popPassword = "secret";
        UsersDatabase users(work / "users.DB");
        users.Open();
        users.Insert(row);
    }

    // One cycle of a gateway of its own, as a new process would run it.
    void RunCycle(LogView* view = nullptr) {
        Gateway gateway(work.path(), {});
        Settings settings;
        settings.LogDetailLevel = 3;
        settings.LogToFile = false;
        settings.TimestampInWindow = false;
        settings.CCAdmin = true;
        settings.AdminMAPIName = "Admin";
        gateway.UseSettings(settings);
        gateway.Log().SetView(view);
        gateway.CreateWorkFolders();
        gateway.Users().OpenTable();
        gateway.Cycle().RunTransferCycle();
        gateway.Log().SetView(nullptr);
    }

    // How many copies of each subject the mailbox holds.
    std::map<std::string, int> Copies(const std::string& mailbox) const {
        std::map<std::string, int> copies;
        const fs::path folder = work / "postoffice" / mailbox;
        for (const auto& message : MaildirFolder::List(folder)) {
            std::ifstream in(folder / message.File);
            for (std::string line; std::getline(in, line);)
                if (line.rfind("Subject: ", 0) == 0) ++copies[line.substr(9)];
        }
        return copies;
    }
};

// The process dies at each boundary of a delivery in turn; the next run
// finishes what it began, and every message is in each of its mailboxes
// once, and gone from the server.
TEST(ExactlyOnce, AGatewayKilledAtAnyStepOfADeliveryLeavesOneCopy) {
    const char* const boundaries[] = {
        "Loading Message 1",                            // after RETR
        "Written for Admin, Ann",                       // after the first message's copies are written
        "i = 1 count = 2",                              // with the first message staged, not synced
        "Message ID uid-1 remembered",                  // after the batch's IDs are recorded
        "Delivered to Admin",                           // after the first rename
        "Delivered to Ann",                             // after the second
        "Deleting Message 2 from Internet POP Server",  // after the first DELE
        "Ending Getusermail loop",                      // before QUIT
    };
    const std::map<std::string, int> once = {{"m1", 1}, {"m2", 1}};
    for (const char* boundary : boundaries) {
        Office office;
        const pid_t child = ::fork();
        if (child == 0) {
            KillAtLine killer(boundary);
            office.RunCycle(&killer);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << boundary << " was never reached";
        office.RunCycle();
        EXPECT_EQ(office.Copies("Ann"), once) << boundary;
        EXPECT_EQ(office.Copies("Admin"), once) << boundary;
        EXPECT_TRUE(office.pop.Messages("ann").empty()) << boundary;
        EXPECT_TRUE(fs::is_empty(office.work / "postoffice" / ".staging")) << boundary;
    }
}

struct StoreCase {
    const char* name;
    std::string lines;  // after the header
    std::vector<std::string> complete, unfinished;
};

// What is read back is hostile: a line a crash cut short, a damaged or
// forged line is passed over (and the file written anew without it); a file
// of another account, or one too large, is not used at all. The same server
// written another way is the same account.
TEST(ExactlyOnce, RememberedIdsAreReadBackWithSuspicion) {
    const StoreCase cases[] = {
        {"sound", "B a n Ann\tAdmin\nD a\nD b\nB c n Ann\n", {"a", "b"}, {"c"}},
        {"cut short", "D a\nB c n A", {"a"}, {}},
        {"forged", "D a b\nD " + std::string(71, 'x') + "\nB c ../n Ann\nB d n ../Ann\nB e n \nX f\nD g\n", {"g"}, {}},
    };
    for (const auto& c : cases) {
        TempDir work;
        const fs::path file = RememberedMessages(work.path(), "pop3://POP.example.org", "ann").File();
        fs::create_directories(file.parent_path());
        const std::string header = "QLKUIDS 1 " + file.filename().string() + "\n";
        WriteFileBytes(file, header + c.lines);
        RememberedMessages store(work.path(), "pop.example.org:110", "ann");
        std::vector<std::string> complete;
        for (const char* uid : {"a", "b", "c", "d", "e", "f", "g"})
            if (store.Find(uid) && store.Find(uid)->Complete) complete.push_back(uid);
        EXPECT_EQ(complete, c.complete) << c.name;
        EXPECT_EQ(store.Unfinished(), c.unfinished) << c.name;
        EXPECT_EQ(ReadFileBytes(file).back(), '\n') << c.name;
        EXPECT_EQ(RememberedMessages(work.path(), "pop3s://pop.example.org", "ann").Find("g"), nullptr);
        EXPECT_EQ(RememberedMessages(work.path(), "pop.example.org", "Ann").Find("g"), nullptr);
        WriteFileBytes(file, "QLKUIDS 1 0000\n");
        EXPECT_THROW(RememberedMessages(work.path(), "pop.example.org", "ann"), Exception) << c.name;
        WriteFileBytes(file, header + c.lines);
        ASSERT_EQ(::truncate(file.c_str(), static_cast<off_t>(RememberedMessages::MaxFileBytes + 1)), 0);
        EXPECT_THROW(RememberedMessages(work.path(), "pop.example.org", "ann"), Exception) << c.name;
    }
}

// Delivered IDs the server no longer lists are forgotten; the rest outlive
// the process in an owner-only file.
TEST(ExactlyOnce, RememberedIdsOutliveTheProcessUntilTheServerForgetsThem) {
    TempDir work;
    {
        RememberedMessages store(work.path(), "pop.example.org", "ann");
        for (const char* uid : {"a", "b", "c"}) store.Begin(uid, {"n", {"Ann"}});
        store.Complete("a");
        store.Complete("b");
        store.KeepOnly({"b"});
    }
    RememberedMessages again(work.path(), "pop.example.org", "ann");
    EXPECT_EQ(again.Find("a"), nullptr);
    EXPECT_TRUE(again.Find("b")->Complete);
    EXPECT_EQ(again.Unfinished(), std::vector<std::string>{"c"});
    struct stat info {};
    ASSERT_EQ(::stat(again.File().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace qlk::test
