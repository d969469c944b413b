#include "gateway/RememberedMessages.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string_view>

#include "mapi/MaildirFolder.h"
#include "mapi/PostOffice.h"
#include "net/MailServerAddress.h"
#include "net/TmsRemotePOP.h"
#include "platform/AsciiCase.h"
#include "platform/AtomicFile.h"
#include "platform/BoundedFile.h"
#include "platform/Exception.h"
#include "platform/WriteAll.h"

namespace qlk {

namespace {

constexpr std::string_view kFormat = "QLKUIDS 1 ";
constexpr char kBegun = 'B';
constexpr char kDelivered = 'D';
// No sound line comes near this: an ID, a unique name and the mailboxes.
constexpr std::size_t kMaxLineBytes = 1024 * 1024;
constexpr std::size_t kMaxCopies = 4096;

std::string Sha256Hex(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        throw Exception("Cannot compute a SHA-256 digest");
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

// One mailbox however its server is written: the host without letter case
// and the port the client connects to ("host", "host:110" and
// "pop3://HOST" are one; "pop3s://host", on 995, is another). The user ID
// keeps its case: servers may tell users apart by it.
std::string AccountKey(const std::string& server, const std::string& user) {
    std::string endpoint = LowerCase(server);
    if (const auto address = MailServerAddress::Parse(server, "pop3", 995)) {
        const std::string bare =
            address->Host.find(':') == std::string::npos ? address->Host : "[" + address->Host + "]";
        endpoint = LowerCase(address->Endpoint) + (address->Endpoint == bare ? ":110" : "");
    }
    return endpoint + "\n" + user;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

std::string Join(const std::vector<std::string>& parts, char separator) {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : std::string(1, separator)) + part;
    return out;
}

}  // namespace

RememberedMessages::RememberedMessages(const std::filesystem::path& workFolder, const std::string& server,
                                       const std::string& user)
    : accountKey_(AccountKey(server, user)), file_(workFolder / FolderName / Sha256Hex(accountKey_)) {
    Load();
}

RememberedMessages::~RememberedMessages() {
    if (fd_ >= 0) ::close(fd_);
}

std::string RememberedMessages::Header() const {
    return std::string(kFormat) + file_.filename().string();
}

void RememberedMessages::Load() {
    std::string text;
    switch (BoundedFile::Read(file_, MaxFileBytes, text)) {
        case BoundedFile::Outcome::Missing:
            return;
        case BoundedFile::Outcome::Unreadable:
            throw Exception("The remembered message IDs in " + file_.string() + " cannot be read");
        case BoundedFile::Outcome::Read:
            break;
    }

    std::vector<std::string_view> lines = Split(text, '\n');
    // The last piece has no line end: empty, or a line a crash cut short.
    bool rewrite = !lines.back().empty();
    lines.pop_back();
    if (lines.empty()) return;
    if (lines.front() != Header())
        throw Exception("The remembered message IDs in " + file_.string() + " are not this account's");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (!ReadLine(std::string(lines[i]))) rewrite = true;
    }
    if (rewrite || lines.size() > 2 * deliveries_.size() + 64) Rewrite();
}

// "B uid name mailbox<TAB>mailbox..." or "D uid"; false for anything else.
bool RememberedMessages::ReadLine(const std::string& line) {
    if (line.size() > kMaxLineBytes || line.size() < 3 || line[1] != ' ') return false;
    const std::vector<std::string_view> words = Split(std::string_view(line).substr(2), ' ');
    const std::string uid(words.front());
    if (!TmsRemotePOP::IsValidUid(uid)) return false;
    if (line[0] == kDelivered && words.size() == 1) {
        deliveries_[uid] = {true, {}};
        return true;
    }
    if (line[0] != kBegun || words.size() < 3) return false;
    Delivery delivery;
    delivery.Copies.UniqueName = words[1];
    if (!MaildirFolder::IsSafeId(delivery.Copies.UniqueName)) return false;
    // Mailbox names may hold blanks: the rest of the line, by tabs.
    const std::size_t mailboxesAt = 2 + uid.size() + 1 + words[1].size() + 1;
    for (std::string_view mailbox : Split(std::string_view(line).substr(mailboxesAt), '\t')) {
        if (!PostOffice::IsValidMailboxName(mailbox) || delivery.Copies.Mailboxes.size() == kMaxCopies)
            return false;
        delivery.Copies.Mailboxes.emplace_back(mailbox);
    }
    deliveries_[uid] = std::move(delivery);
    return true;
}

const RememberedMessages::Delivery* RememberedMessages::Find(const std::string& uid) const {
    const auto found = deliveries_.find(uid);
    return found == deliveries_.end() ? nullptr : &found->second;
}

std::vector<std::string> RememberedMessages::Unfinished() const {
    std::vector<std::string> uids;
    for (const auto& [uid, delivery] : deliveries_)
        if (!delivery.Complete) uids.push_back(uid);
    return uids;
}

std::string RememberedMessages::StagingKey(const std::string& uid) const {
    return Sha256Hex(accountKey_ + "\n" + uid);
}

void RememberedMessages::Begin(const std::string& uid, const StagedMail& copies) {
    BeginAll({{uid, copies}});
}

void RememberedMessages::BeginAll(const std::vector<std::pair<std::string, StagedMail>>& deliveries) {
    if (deliveries.empty()) return;
    std::string lines;
    for (const auto& [uid, copies] : deliveries) {
        if (!lines.empty()) lines += '\n';
        lines +=
            std::string(1, kBegun) + " " + uid + " " + copies.UniqueName + " " + Join(copies.Mailboxes, '\t');
    }
    Append(lines, true);
    for (const auto& [uid, copies] : deliveries) deliveries_[uid] = {false, copies};
}

void RememberedMessages::Complete(const std::string& uid) {
    Append(std::string(1, kDelivered) + " " + uid, false);
    deliveries_[uid] = {true, {}};
}

void RememberedMessages::KeepOnly(const std::vector<std::string>& listedUids) {
    const std::set<std::string_view> listed(listedUids.begin(), listedUids.end());
    const std::size_t before = deliveries_.size();
    std::erase_if(deliveries_, [&](const auto& entry) {
        return entry.second.Complete && !listed.contains(entry.first);
    });
    if (deliveries_.size() != before) Rewrite();
}

void RememberedMessages::Rewrite() {
    std::string text = Header() + "\n";
    for (const auto& [uid, delivery] : deliveries_) {
        text += delivery.Complete ? std::string(1, kDelivered) + " " + uid
                                  : std::string(1, kBegun) + " " + uid + " " + delivery.Copies.UniqueName + " " +
                                        Join(delivery.Copies.Mailboxes, '\t');
        text += '\n';
    }
    if (::mkdir(file_.parent_path().c_str(), 0700) != 0 && errno != EEXIST)
        throw Exception("Cannot create the folder " + file_.parent_path().string());
    AtomicFile::WriteWhole(file_, text);
    // The descriptor still points at the file just replaced.
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void RememberedMessages::Append(const std::string& line, bool sync) {
    if (fd_ < 0) {
        struct stat info {};
        if (rewriteFirst_ || ::stat(file_.c_str(), &info) != 0) Rewrite();
        rewriteFirst_ = false;
        fd_ = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
        if (fd_ < 0) throw Exception("Cannot write the remembered message IDs in " + file_.string());
    }
    if (!WriteAll(fd_, line + "\n") || (sync && ::fdatasync(fd_) != 0)) {
        // Part of the line may be in the file: the next write starts the
        // file anew from what is known, so that nothing runs on from it.
        ::close(fd_);
        fd_ = -1;
        rewriteFirst_ = true;
        throw Exception("Cannot write the remembered message IDs in " + file_.string());
    }
}

}  // namespace qlk
