#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "mapi/StagedMail.h"

namespace qlk {

// The messages of one POP3 account (server and user ID) that the gateway has
// delivered into the post office, by their unique IDs (UIDL), kept in the
// working folder so that no message is ever delivered twice: not when it is
// left on the server, and not when the gateway dies at any instant of a
// delivery.
//
// A delivery is remembered in two steps. Once its copies are staged (written
// and synced where no reader sees them) and before the first of them is
// committed into its mailbox, Begin records the ID with the mailboxes and the
// unique name, durably. Once every copy is committed, Complete marks it
// done. A delivery still begun after a crash is finished by committing its
// copies again (under the same staging key), which does nothing for the
// copies committed before: so every message ends in every mailbox once.
//
// The file (QLKUIDS/ + a hash of the account, owner-only) is an append log
// of one line per step. What is read back is hostile: an oversized file is
// refused, a line that is not whole, too long or not valid is passed over
// (its message may then come once more, never go missing), and the file is
// written anew without it.
class RememberedMessages {
public:
    static constexpr const char* FolderName = "QLKUIDS";
    // Beyond this the file is taken as damaged rather than read.
    static constexpr std::uintmax_t MaxFileBytes = 64 * 1024 * 1024;

    struct Delivery {
        bool Complete = false;
        StagedMail Copies;  // while not complete
    };

    // Reads the account's file; raises Exception when it cannot be read or
    // belongs to another account.
    RememberedMessages(const std::filesystem::path& workFolder, const std::string& server,
                       const std::string& user);
    ~RememberedMessages();
    RememberedMessages(const RememberedMessages&) = delete;
    RememberedMessages& operator=(const RememberedMessages&) = delete;

    const std::filesystem::path& File() const { return file_; }

    // Deliveries remembered, complete or not.
    std::size_t Count() const { return deliveries_.size(); }
    // None for an ID not remembered.
    const Delivery* Find(const std::string& uid) const;
    // The IDs of deliveries begun and not completed.
    std::vector<std::string> Unfinished() const;
    // Where the copies of this account's message UID are staged: the same
    // for every attempt, so that a later run finds what a crashed one left.
    std::string StagingKey(const std::string& uid) const;

    // Durable when it returns; raises Exception when it cannot be written
    // (the staged copies must then stay: the record may have reached the
    // disk all the same).
    void Begin(const std::string& uid, const StagedMail& copies);
    // Begin for a batch of deliveries, with one wait for the disk.
    void BeginAll(const std::vector<std::pair<std::string, StagedMail>>& deliveries);
    // Not synced: a completion lost in a crash is done again by committing
    // the copies once more, which finds nothing left to do.
    void Complete(const std::string& uid);
    // After a complete listing of the mailbox: forgets the completed
    // deliveries whose IDs the server no longer has.
    void KeepOnly(const std::vector<std::string>& listedUids);

private:
    void Load();
    bool ReadLine(const std::string& line);
    void Rewrite();
    void Append(const std::string& line, bool sync);
    std::string Header() const;

    std::string accountKey_;
    std::filesystem::path file_;
    std::map<std::string, Delivery, std::less<>> deliveries_;
    int fd_ = -1;
    bool rewriteFirst_ = false;
};

}  // namespace qlk
