#include "DovecotPasswdFile.h"

#include <crypt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "mapi/EPostOfficeError.h"
#include "message/TextUtils.h"
#include "platform/AtomicFile.h"

namespace qlk::tools {

namespace {

constexpr mode_t kNewFileMode = 0640;

// A one-way hash Dovecot checks log-ins against, with a fresh random salt.
std::string Sha512Crypt(const std::string& password) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (crypt_gensalt_rn("$6$", 0, nullptr, 0, salt, sizeof salt) == nullptr)
        throw EPostOfficeError("Cannot make a password salt");
    const auto work = std::make_unique<crypt_data>();
    const char* hash = crypt_rn(password.c_str(), salt, work.get(), sizeof *work);
    if (hash == nullptr || hash[0] == '*') throw EPostOfficeError("Cannot hash a mailbox password");
    return hash;
}

// Why a mailbox cannot be written as a line; "" when it can. The fields are
// separated by ":", a line beginning with "#" is a comment, and crypt() reads
// the password up to its first NUL.
std::string Unwritable(const std::string& mailbox, const std::string& password,
                       const std::filesystem::path& folder) {
    if (password.find('\0') != std::string::npos) return "its password holds a NUL byte";
    if (mailbox.find(':') != std::string::npos) return "its name holds \":\"";
    if (mailbox.front() == '#') return "its name begins with \"#\"";
    if (folder.string().find(':') != std::string::npos) return "its folder's path holds \":\"";
    return "";
}

}  // namespace

DovecotPasswdFile::DovecotPasswdFile(const PostOffice& office) {
    for (const std::string& mailbox : office.Mailboxes()) {
        const std::filesystem::path folder = std::filesystem::absolute(office.MailboxFolder(mailbox));
        const std::string password = office.MailboxPassword(mailbox);
        std::string reason = password.empty() ? "it has no password" : Unwritable(mailbox, password, folder);
        struct stat owner {};
        if (reason.empty() && ::stat(folder.c_str(), &owner) != 0) reason = "its folder cannot be read";
        if (!reason.empty()) {
            excluded_.push_back({mailbox, reason});
            continue;
        }
        text_ += LowerCase(mailbox) + ":{SHA512-CRYPT}" + Sha512Crypt(password) + ":" +
                 std::to_string(owner.st_uid) + ":" + std::to_string(owner.st_gid) + "::" + folder.string() +
                 "::\n";
        included_.push_back(mailbox);
    }
}

void DovecotPasswdFile::Write(const std::filesystem::path& target) const {
    AtomicFile file(target);
    file.Write(text_);
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    const char* temporary = file.TemporaryPath().c_str();
    if (replacing && ::chown(temporary, static_cast<uid_t>(-1), old.st_gid) != 0)
        throw EPostOfficeError("Cannot give " + target.string() + " its group again");
    if (::chmod(temporary, replacing ? old.st_mode & 07777 : kNewFileMode) != 0)
        throw EPostOfficeError("Cannot set the mode of " + target.string());
    file.Commit();
}

}  // namespace qlk::tools
