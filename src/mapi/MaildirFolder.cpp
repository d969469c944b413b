#include "mapi/MaildirFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>

#include "mapi/MapiCodes.h"
#include "platform/AtomicFile.h"
#include "platform/WriteAll.h"

namespace qlk {

namespace {

constexpr std::string_view kInfoSeparator = ":2,";
constexpr std::size_t kMaxIdLength = 255;

// A message file name: its identifier and whether it carries the "S" flag.
struct FileName {
    std::string_view id;
    bool seen = false;
};

FileName SplitFileName(std::string_view name) {
    const std::size_t colon = name.find(':');
    if (colon == std::string_view::npos) return {name, false};
    const std::string_view info = name.substr(colon);
    const bool seen =
        info.starts_with(kInfoSeparator) && info.find('S', kInfoSeparator.size()) != std::string_view::npos;
    return {name.substr(0, colon), seen};
}

template <typename Visit>
void ForEachName(const std::filesystem::path& folder, Visit&& visit) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.empty() || name.front() == '.') continue;
        visit(name);
    }
    ::closedir(dir);
}

// The leading seconds of a Maildir name, the first key of delivery order.
unsigned long long DeliverySeconds(std::string_view id) {
    unsigned long long value = 0;
    for (char c : id) {
        if (c < '0' || c > '9' || value > 1'000'000'000'000ULL) break;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

// Delivery order: the leading seconds as a number, then the rest of the name.
void SortByDelivery(std::vector<MaildirFolder::Message>& messages) {
    std::vector<std::pair<unsigned long long, std::size_t>> keys;
    keys.reserve(messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i) keys.emplace_back(DeliverySeconds(messages[i].Id), i);
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : messages[a.second].Id < messages[b.second].Id;
    });
    std::vector<MaildirFolder::Message> sorted;
    sorted.reserve(messages.size());
    for (const auto& key : keys) sorted.push_back(std::move(messages[key.second]));
    messages = std::move(sorted);
}

// Copies the whole file FROM into the open, empty file TO.
bool CopyFile(const std::filesystem::path& from, int to) {
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (source < 0) return false;
    ssize_t copied = 0;
    while ((copied = ::sendfile(to, source, nullptr, 1 << 30)) > 0) {
    }
    ::close(source);
    return copied == 0;
}

std::string HostName() {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return "localhost";
    std::string host;
    for (const char* p = buffer; *p; ++p) {
        // The separators of a Maildir name are written as octal escapes.
        if (*p == '/') {
            host += "\\057";
        } else if (*p == ':') {
            host += "\\072";
        } else {
            host += *p;
        }
    }
    return host;
}

std::string SeenFileName(const std::string& id, std::string_view file) {
    const std::size_t colon = file.find(':');
    std::string flags = colon == std::string_view::npos || !file.substr(colon).starts_with(kInfoSeparator)
                            ? std::string()
                            : std::string(file.substr(colon + kInfoSeparator.size()));
    if (flags.find('S') == std::string::npos) flags += 'S';
    std::sort(flags.begin(), flags.end());
    return "cur/" + id + std::string(kInfoSeparator) + flags;
}

}  // namespace

MaildirFolder::MaildirFolder(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::vector<MaildirFolder::Message> MaildirFolder::List(const std::filesystem::path& folder) {
    std::vector<Message> messages;
    ForEachName(folder / "new", [&](std::string_view name) {
        const FileName parts = SplitFileName(name);
        // Other Maildir programs may flag a message seen without moving it.
        if (IsSafeId(parts.id))
            messages.push_back({std::string(parts.id), "new/" + std::string(name), !parts.seen});
    });
    ForEachName(folder / "cur", [&](std::string_view name) {
        const FileName parts = SplitFileName(name);
        if (IsSafeId(parts.id))
            messages.push_back({std::string(parts.id), "cur/" + std::string(name), !parts.seen});
    });
    SortByDelivery(messages);
    return messages;
}

bool MaildirFolder::IsSafeId(std::string_view id) {
    if (id.empty() || id.size() > kMaxIdLength || id.front() == '.') return false;
    if (id.find("..") != std::string_view::npos) return false;
    return std::none_of(id.begin(), id.end(), [](char c) {
        return c == '/' || c == ':' || static_cast<unsigned char>(c) < 32 || c == 127;
    });
}

std::string MaildirFolder::NewUniqueName() {
    static std::atomic<unsigned> counter{0};
    static const std::string host = HostName();
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "%lld.M%06ldP%dQ%u.", static_cast<long long>(now.tv_sec),
                  now.tv_nsec / 1000, static_cast<int>(::getpid()), ++counter);
    return prefix + host;
}

void MaildirFolder::Make(const std::filesystem::path& folder) {
    for (const char* sub : {"", "tmp", "new", "cur"}) {
        const std::filesystem::path path = folder / sub;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            throw std::filesystem::filesystem_error("Cannot create folder", path,
                                                    std::error_code(errno, std::generic_category()));
    }
}

void MaildirFolder::RemoveStaleTemporaryFiles() const {
    constexpr std::time_t kStaleAfter = 36 * 60 * 60;
    const std::time_t now = std::time(nullptr);
    const std::filesystem::path tmp = folder_ / "tmp";
    DIR* dir = ::opendir(tmp.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (now - info.st_mtime > kStaleAfter) ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

int MaildirFolder::Deliver(const std::vector<std::filesystem::path>& folders, std::string_view text) {
    const std::string name = NewUniqueName();
    std::vector<AtomicFile> copies;
    copies.reserve(folders.size());
    try {
        for (const std::filesystem::path& folder : folders) {
            copies.emplace_back(folder / "new" / name, folder / "tmp");
            copies.back().Write(text);
        }
        for (AtomicFile& copy : copies) copy.Sync();
    } catch (const std::exception&) {
        return MAPI_E_DISK_FULL;  // the copies remove their temporary files
    }
    std::size_t committed = 0;
    try {
        for (AtomicFile& copy : copies) {
            copy.Commit();
            ++committed;
        }
    } catch (const std::exception&) {
        // A send either delivers every copy or none.
        for (std::size_t i = 0; i < committed; ++i) ::unlink(copies[i].Target().c_str());
        return MAPI_E_FAILURE;
    }
    return SUCCESS_SUCCESS;
}

// The staged files keep fixed names rather than going through a temporary
// file: a sender that died before it recorded them stages under the same
// names again, and one that died after finds them by those names.
// The first file is written, each further one copied from it in the kernel.
int MaildirFolder::Stage(const std::vector<std::filesystem::path>& files, const std::function<bool(int fd)>& write,
                         bool sync) {
    std::size_t written = 0;
    for (; written < files.size(); ++written) {
        const int fd = ::open(files[written].c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) break;
        const bool filled = written == 0 ? write(fd) : CopyFile(files.front(), fd);
        const bool synced = filled && (!sync || ::fsync(fd) == 0);
        if (::close(fd) != 0 || !synced) {
            ++written;
            break;
        }
    }
    if (written == files.size() && !files.empty()) {
        if (sync) AtomicFile::SyncFolder(files.front().parent_path());
        return SUCCESS_SUCCESS;
    }
    for (std::size_t i = 0; i < written; ++i) ::unlink(files[i].c_str());
    return MAPI_E_DISK_FULL;
}

int MaildirFolder::CommitStaged(const std::filesystem::path& staged, const std::filesystem::path& folder,
                                const std::string& uniqueName, bool sync) {
    if (!IsSafeId(uniqueName)) return MAPI_E_INVALID_MESSAGE;
    const std::filesystem::path target = folder / "new" / uniqueName;
    if (::rename(staged.c_str(), target.c_str()) != 0) {
        return errno == ENOENT && ::access(staged.c_str(), F_OK) != 0 ? SUCCESS_SUCCESS : MAPI_E_FAILURE;
    }
    if (sync) AtomicFile::SyncFolder(target.parent_path());
    return SUCCESS_SUCCESS;
}

// Two passes, each file opened on its own, so that a batch of any size
// never holds more than one descriptor.
int MaildirFolder::SyncBatch(const std::vector<std::filesystem::path>& files,
                            const std::vector<std::filesystem::path>& folders) {
    for (const std::filesystem::path& file : files) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        ::close(fd);
    }
    bool synced = true;
    for (const std::filesystem::path& file : files) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        synced = fd >= 0 && ::fsync(fd) == 0 && synced;
        if (fd >= 0) ::close(fd);
    }
    for (const std::filesystem::path& folder : folders) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        synced = fd >= 0 && ::fsync(fd) == 0 && synced;
        if (fd >= 0) ::close(fd);
    }
    return synced ? SUCCESS_SUCCESS : MAPI_E_DISK_FULL;
}

void MaildirFolder::Rescan(bool compact) {
    if (compact) {
        std::erase_if(entries_, [](const Entry& entry) { return entry.gone; });
        positions_.clear();
        for (std::size_t i = 0; i < entries_.size(); ++i) positions_.emplace(entries_[i].message.Id, i);
    }
    std::vector<bool> present(entries_.size(), false);
    for (Message& message : List(folder_)) {
        if (const auto known = positions_.find(message.Id); known != positions_.end()) {
            entries_[known->second].message = std::move(message);
            entries_[known->second].gone = false;
            present[known->second] = true;
        } else {
            positions_.emplace(message.Id, entries_.size());
            entries_.push_back({std::move(message), false});
            present.push_back(true);
        }
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (!present[i]) entries_[i].gone = true;
    }
}

MaildirFolder::Entry* MaildirFolder::Find(const std::string& id) {
    const auto found = positions_.find(id);
    return found == positions_.end() ? nullptr : &entries_[found->second];
}

bool MaildirFolder::FileExists(const Entry& entry) const {
    struct stat info {};
    return ::stat((folder_ / entry.message.File).c_str(), &info) == 0;
}

MaildirFolder::Entry* MaildirFolder::Current(const std::string& id) {
    if (!IsSafeId(id)) return nullptr;
    Entry* entry = Find(id);
    if (entry == nullptr || entry->gone || !FileExists(*entry)) {
        Rescan(false);
        entry = Find(id);
    }
    return entry == nullptr || entry->gone ? nullptr : entry;
}

int MaildirFolder::Next(const std::string& seed, bool unreadOnly, std::string& found) {
    std::size_t position = 0;
    if (seed.empty()) {
        Rescan(true);
    } else {
        if (!IsSafeId(seed)) return MAPI_E_INVALID_MESSAGE;
        if (Find(seed) == nullptr) Rescan(false);
        const auto known = positions_.find(seed);
        if (known == positions_.end()) return MAPI_E_INVALID_MESSAGE;
        position = known->second + 1;
    }
    for (bool listedAgain = false;; listedAgain = true) {
        for (; position < entries_.size(); ++position) {
            const Entry& entry = entries_[position];
            if (!entry.gone && (!unreadOnly || entry.message.Unread)) {
                found = entry.message.Id;
                return SUCCESS_SUCCESS;
            }
        }
        if (listedAgain) return MAPI_E_NO_MESSAGES;
        // Messages delivered since the last listing come after all others.
        Rescan(false);
    }
}

std::optional<MaildirFolder::Message> MaildirFolder::Locate(const std::string& id) {
    const Entry* entry = Current(id);
    if (entry == nullptr) return std::nullopt;
    return entry->message;
}

bool MaildirFolder::MarkSeen(const std::string& id) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        Entry* entry = Current(id);
        if (entry == nullptr) return false;
        if (!entry->message.Unread) return true;
        const std::string seen = SeenFileName(id, entry->message.File);
        if (::rename((folder_ / entry->message.File).c_str(), (folder_ / seen).c_str()) == 0) {
            entry->message.File = seen;
            entry->message.Unread = false;
            return true;
        }
        if (errno != ENOENT) return false;
        // Another process moved it in the meantime: look again once.
        Rescan(false);
    }
    return false;
}

int MaildirFolder::Delete(const std::string& id) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        Entry* entry = Current(id);
        if (entry == nullptr) return MAPI_E_INVALID_MESSAGE;
        if (::unlink((folder_ / entry->message.File).c_str()) == 0) {
            entry->gone = true;
            AtomicFile::SyncFolder((folder_ / entry->message.File).parent_path());
            return SUCCESS_SUCCESS;
        }
        if (errno != ENOENT) return MAPI_E_FAILURE;
        Rescan(false);
    }
    return MAPI_E_INVALID_MESSAGE;
}

}  // namespace qlk
