#include "mapi/PostOffice.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <system_error>
#include <utility>

#include "mapi/EPostOfficeError.h"
#include "mapi/MaildirFolder.h"
#include "mapi/MapiIni.h"
#include "message/TextUtils.h"
#include "platform/AtomicFile.h"

namespace qlk {

namespace {

constexpr const char* kPasswordFile = ".password";
constexpr const char* kStagingFolder = ".staging";
constexpr std::size_t kMaxNameLength = 255;
constexpr std::size_t kMaxPasswordLength = 255;

bool IsMaildir(const std::filesystem::path& folder) {
    struct stat info {};
    return ::stat((folder / "new").c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::stat((folder / "cur").c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void MakeFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw EPostOfficeError("Cannot create folder " + folder.string());
}

}  // namespace

PostOffice::PostOffice(std::filesystem::path folder) : folder_(std::move(folder)) {}

PostOffice PostOffice::Create(const std::filesystem::path& workFolder) {
    std::optional<MapiIni> ini = MapiIni::Read(workFolder);
    if (!ini) {
        ini = MapiIni();
        ini->Mapi = 1;
        ini->Write(workFolder);
    }
    PostOffice office(ini->PostOfficeFolder(workFolder));
    MakeFolder(office.folder_);
    if (!office.FindMailbox(ini->DefaultProfile) && IsValidMailboxName(ini->DefaultProfile))
        office.AddMailbox(ini->DefaultProfile);
    return office;
}

std::optional<PostOffice> PostOffice::Open(const std::filesystem::path& workFolder) {
    const std::optional<MapiIni> ini = MapiIni::Read(workFolder);
    if (!ini) return std::nullopt;
    return PostOffice(ini->PostOfficeFolder(workFolder));
}

bool PostOffice::IsValidMailboxName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameLength || name.front() == '.') return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return c == '/' || static_cast<unsigned char>(c) < 32 || c == 127; });
}

void PostOffice::AddMailbox(std::string_view name, std::string_view password) {
    if (!IsValidMailboxName(name)) throw EPostOfficeError("Not a valid mailbox name: " + std::string(name));
    if (password.size() > kMaxPasswordLength || password.find_first_of("\r\n") != std::string_view::npos)
        throw EPostOfficeError("Not a valid password");
    if (FindMailbox(name)) throw EPostOfficeError("Mailbox already exists: " + std::string(name));
    const std::filesystem::path folder = folder_ / std::string(name);
    try {
        MaildirFolder::Make(folder);
    } catch (const std::exception&) {
        throw EPostOfficeError("Cannot create folder " + folder.string());
    }
    if (!password.empty()) AtomicFile::WriteWhole(folder / kPasswordFile, password);
    AtomicFile::SyncFolder(folder_);
}

void PostOffice::RemoveMailbox(std::string_view name, bool force) {
    const std::optional<std::string> mailbox = FindMailbox(name);
    if (!mailbox) throw EPostOfficeError("No such mailbox: " + std::string(name));
    if (!force && CountMessages(*mailbox).Total > 0)
        throw EPostOfficeError("Mailbox " + *mailbox + " still holds messages");
    std::error_code error;
    std::filesystem::remove_all(MailboxFolder(*mailbox), error);
    if (error) throw EPostOfficeError("Cannot remove mailbox " + *mailbox + ": " + error.message());
    AtomicFile::SyncFolder(folder_);
}

std::vector<std::string> PostOffice::Mailboxes() const {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder_.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name(entry->d_name);
        if (IsValidMailboxName(name) && IsMaildir(folder_ / name)) names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> PostOffice::FindMailbox(std::string_view name) const {
    if (!IsValidMailboxName(name)) return std::nullopt;
    // The name as the table spells it is the usual case, and costs two stats
    // where listing the office costs two for every mailbox in it.
    if (IsMaildir(folder_ / std::string(name))) return std::string(name);
    for (const std::string& mailbox : Mailboxes()) {
        if (SameText(mailbox, name)) return mailbox;
    }
    return std::nullopt;
}

std::filesystem::path PostOffice::MailboxFolder(std::string_view name) const {
    if (!IsValidMailboxName(name)) throw EPostOfficeError("Not a valid mailbox name: " + std::string(name));
    return folder_ / std::string(name);
}

std::filesystem::path PostOffice::StagingFolder() const {
    const std::filesystem::path folder = folder_ / kStagingFolder;
    MakeFolder(folder);
    return folder;
}

PostOffice::Counts PostOffice::CountMessages(std::string_view name) const {
    Counts counts;
    for (const MaildirFolder::Message& message : MaildirFolder::List(MailboxFolder(name))) {
        ++counts.Total;
        if (message.Unread) ++counts.Unread;
    }
    return counts;
}

std::string PostOffice::MailboxPassword(std::string_view name) const {
    std::ifstream in(MailboxFolder(name) / kPasswordFile, std::ios::binary);
    std::string password;
    if (in) std::getline(in, password);
    return password.substr(0, kMaxPasswordLength);
}

}  // namespace qlk
