#pragma once

#include <algorithm>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gateway/Gateway.h"
#include "gateway/UsersDatabase.h"
#include "mapi/MapiBackend.h"
#include "mapi/SimpleMapi.h"
#include "message/FileNames.h"
#include "support/Pop3MailboxServer.h"
#include "support/TempDir.h"

namespace qlk::test {

// A post office that accepts what it is given and keeps it for the test:
// every message handed over, with the content of its files read at the
// moment of sending (the gateway removes them afterwards).
class ScriptedPostOffice : public MapiBackend {
public:
    struct Delivery {
        std::string subject;
        std::string text;
        std::vector<std::string> to;
        std::vector<std::pair<std::string, std::string>> files;  // name the recipient sees, content
    };
    std::vector<Delivery> delivered;
    std::deque<int> sendCodes;  // SendMail and StageMail answer in turn; 0 once empty
    int logons = 0, logoffs = 0;

    int MAPILogon(const std::optional<std::string>&, const std::optional<std::string>&, std::uint32_t,
                  std::uint32_t& session) override {
        ++logons;
        session = 1;
        return 0;
    }
    int MAPILogoff(std::uint32_t) override {
        ++logoffs;
        return 0;
    }
    int MAPIFindNext(std::uint32_t, const std::string&, std::uint32_t, std::string&) override { return 16; }
    int MAPIReadMail(std::uint32_t, const std::string&, std::uint32_t, std::optional<MapiMessage>&) override {
        return 17;
    }
    int MAPISendMail(std::uint32_t, const MapiMessage& message, std::uint32_t) override {
        const int code = NextCode();
        if (code == 0) delivered.push_back(Record(message));
        return code;
    }
    // A staged message counts as delivered once its first copy is committed.
    int StageMail(std::uint32_t, const MapiMessage& message, const std::string& key, StagedMail& staged) override {
        if (const int code = NextCode(); code != 0) return code;
        staged.UniqueName = "u" + std::to_string(staging_.size());
        staged.Mailboxes.clear();
        for (const MapiRecipient& recipient : message.Recips)
            if (std::find(staged.Mailboxes.begin(), staged.Mailboxes.end(), recipient.Name) == staged.Mailboxes.end())
                staged.Mailboxes.push_back(recipient.Name);
        staging_[key] = Record(message);
        return 0;
    }
    int CommitStaged(const std::string& key, std::size_t copy, const std::string&, const std::string&) override {
        const auto found = staging_.find(key);
        if (found == staging_.end()) return 0;
        if (copy == 0) delivered.push_back(found->second);
        return 0;
    }
    int MAPIDeleteMail(std::uint32_t, const std::string&) override { return 17; }
    int MAPIResolveName(std::uint32_t, const std::string& name, std::uint32_t,
                        MapiRecipient& recipient) override {
        recipient.Name = name;
        return 0;
    }
    int MAPIAddress(std::uint32_t, const std::string&, int, const std::string&,
                    const std::vector<MapiRecipient>&, std::vector<MapiRecipient>&) override {
        return 1;
    }

private:
    int NextCode() {
        const int code = sendCodes.empty() ? 0 : sendCodes.front();
        if (!sendCodes.empty()) sendCodes.pop_front();
        return code;
    }
    static Delivery Record(const MapiMessage& message) {
        Delivery delivery{message.Subject.value_or(""), message.NoteText.value_or(""), {}, {}};
        for (const MapiRecipient& recipient : message.Recips) delivery.to.push_back(recipient.Name);
        for (const MapiFile& file : message.Files)
            delivery.files.emplace_back(ExtractFileName(file.PathName), ReadFileBytes(file.PathName));
        return delivery;
    }

    std::map<std::string, Delivery> staging_;
};

// A gateway in a scratch working folder over an in-process POP3 server and
// a scripted post office, logging bare texts (no timestamps, no log file).
class GatewayScene {
public:
    GatewayScene() : GatewayScene(std::make_unique<ScriptedPostOffice>()) {}

    TempDir work;
    Pop3MailboxServer pop;
    ScriptedPostOffice* office;
    Gateway gateway;
    Settings settings;

    // A row of the user table whose mailbox is on the test server.
    void AddRow(UserRecord row) {
        if (row.popHost.empty()) row.popHost = pop.Host();
        if (row.popPassword.empty()) row.popPassword = "secret";
        pop.AddUser(row.popUserId, row.popPassword);
        UsersDatabase database(work / "users.DB");
        database.Open();
        database.Insert(row);
    }

    // Opens the table with the rows added, and runs one cycle.
    void RunCycle(bool manual = false) {
        Start();
        gateway.Cycle().RunTransferCycle(manual);
    }

    void Start() {
        settings.TimestampInWindow = false;
        settings.LogToFile = false;
        gateway.UseSettings(settings);
        gateway.CreateWorkFolders();
        if (!gateway.Users().Table().Active()) gateway.Users().OpenTable();
    }

    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        for (const auto& line : const_cast<Gateway&>(gateway).Log().Lines()) texts.push_back(line.text);
        return texts;
    }

    bool Logged(const std::string& text) const {
        for (const auto& line : LogTexts())
            if (line == text) return true;
        return false;
    }

private:
    explicit GatewayScene(std::unique_ptr<ScriptedPostOffice> scripted)
        : office(scripted.get()),
          gateway(work.path(), {},
                  std::make_shared<SimpleMapi>(std::move(scripted), std::string("Internet"))) {}
};

inline UserRecord Row(std::string name, std::string popUser, std::string returnAddress = "",
                      bool alias = false, std::string aliasAddress = "", bool deleteMail = true) {
    UserRecord row;
    row.name = name;
    row.mailbox = std::move(name);
    row.popUserId = std::move(popUser);
    row.returnAddress = std::move(returnAddress);
    row.alias = alias;
    row.aliasAddress = std::move(aliasAddress);
    row.deleteMail = deleteMail;
    return row;
}

}  // namespace qlk::test
