#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "mapi/PostOffice.h"

namespace qlk::tools {

// Dovecot's passwd-file for a post office, so that Dovecot serves each
// mailbox over IMAP as the INBOX of a user who logs in with the mailbox's
// name and password. A line reads
//   login:{SHA512-CRYPT}hash:uid:gid::home::
// with the mailbox name in ASCII lower case as the login (Dovecot lower-cases
// what users type the same way), the owner of the mailbox's folder as the
// user the mail is read as, and the folder, a Maildir, as the home.
class DovecotPasswdFile {
public:
    struct LeftOut {
        std::string mailbox;
        std::string reason;
    };

    explicit DovecotPasswdFile(const PostOffice& office);

    const std::vector<std::string>& Included() const { return included_; }
    const std::vector<LeftOut>& Excluded() const { return excluded_; }

    // Replaces `target` whole. The new file keeps the group and mode of the
    // one it replaces (an administrator gives it to Dovecot's group once); a
    // first file is made with mode 0640.
    void Write(const std::filesystem::path& target) const;

private:
    std::string text_;
    std::vector<std::string> included_;
    std::vector<LeftOut> excluded_;
};

}  // namespace qlk::tools
