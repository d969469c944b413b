#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qlk {

// One mailbox's Maildir (tmp/, new/, cur/) and the order in which its
// messages are walked. A message's identifier is its Maildir unique name (the
// file name without the ":2,FLAGS" part); it is seen when its info part
// holds the "S" flag, in new/ or in cur/, as every Maildir program reads it.
//
// The walk list is kept between calls, so a walk costs one listing of the
// folders at its start and one whenever it reaches the end; messages found by
// a later listing are appended, so a message delivered during a walk comes
// after every message already walked and none is returned twice.
class MaildirFolder {
public:
    struct Message {
        std::string Id;
        std::string File;  // relative to the Maildir: "new/ID[:2,FLAGS]" or "cur/ID:2,FLAGS"
        bool Unread = true;
    };

    explicit MaildirFolder(std::filesystem::path folder);

    const std::filesystem::path& Folder() const { return folder_; }

    // Every message on disk now, in delivery order.
    static std::vector<Message> List(const std::filesystem::path& folder);
    // True for a name that may stand for a message file: no "/", no "..", no
    // control characters, no ":" and no leading ".".
    static bool IsSafeId(std::string_view id);
    // A fresh unique name: seconds, microseconds, process and a counter, so
    // that names sort in delivery order.
    static std::string NewUniqueName();
    // Delivers one message into every folder: each copy is written and
    // fsynced under tmp/ before any is renamed into new/. A Simple MAPI code;
    // on failure no copy is left in new/ or tmp/.
    static int Deliver(const std::vector<std::filesystem::path>& folders, std::string_view text);
    // Writes one file per path (mode 0600, replacing what is there): WRITE
    // fills the first (false when it could not), the others are copies of
    // it; with SYNC, syncs them and their folder. The first step of a
    // delivery that is committed later. A Simple MAPI code; on failure none
    // of the files is left.
    static int Stage(const std::vector<std::filesystem::path>& files, const std::function<bool(int fd)>& write,
                     bool sync = true);
    // Makes a staged file the new message UNIQUENAME of the Maildir FOLDER
    // and, with SYNC, syncs new/. A file no longer staged was committed
    // before: that succeeds too. A Simple MAPI code.
    static int CommitStaged(const std::filesystem::path& staged, const std::filesystem::path& folder,
                            const std::string& uniqueName, bool sync = true);
    // Makes a batch of files and the folders that name them durable: the
    // files' writeback is started together, then each is fsynced (after the
    // first, each finds its blocks already committed), then each folder.
    // Unlike a syncfs, it never waits for what other programs wrote on the
    // same file system. A Simple MAPI code.
    static int SyncBatch(const std::vector<std::filesystem::path>& files,
                         const std::vector<std::filesystem::path>& folders);
    // Removes what deliveries that died left under tmp/: files untouched for
    // 36 hours, the age after which Maildir writers give a name up.
    void RemoveStaleTemporaryFiles() const;
    // Creates tmp/, new/ and cur/ (mode 0700).
    static void Make(const std::filesystem::path& folder);

    // The message after `seed` ("" means from the start); a Simple MAPI code.
    int Next(const std::string& seed, bool unreadOnly, std::string& found);
    // The message as it lies now (File relative to Folder()), or none when
    // there is no such message.
    std::optional<Message> Locate(const std::string& id);
    // Moves the message into cur/ with the "S" flag; false when it is gone.
    bool MarkSeen(const std::string& id);
    // A Simple MAPI code: 0, or MAPI_E_INVALID_MESSAGE when the message is
    // not there (another process may have taken it).
    int Delete(const std::string& id);

private:
    struct Entry {
        Message message;
        bool gone = false;
    };

    void Rescan(bool compact);
    Entry* Find(const std::string& id);
    // The entry, listing the folders again when its file has moved.
    Entry* Current(const std::string& id);
    bool FileExists(const Entry& entry) const;

    std::filesystem::path folder_;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::size_t> positions_;
};

}  // namespace qlk
