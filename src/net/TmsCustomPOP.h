#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "net/TmsMailBase.h"

namespace qlk {

// Num is the zero-based index of the message in the mailbox.
using TmsNumNotifyEvent = std::function<void(TagSocket& sender, int num)>;

// A POP3 session: log in, read the mailbox's size, retrieve and delete
// messages by index, log out (which is when the server deletes).
class TmsCustomPOP : public TmsMailBase {
public:
    TmsCustomPOP();

    // Largest message retrieved when LIST gave no usable size; with a size,
    // twice that (room for dot-stuffing and line ends) plus MessageSlack.
    static constexpr long long MaxMessageSize = 256LL * 1024 * 1024;
    static constexpr long long MessageSlack = 1024 * 1024;
    // The most bytes an honest server sends for a message LIST gave as
    // `listSize`, so that an endless reply fails instead of exhausting memory.
    static long long MessageLimit(long long listSize);

    std::string UserName;
    std::string Password;
    // An OAuth 2.0 access token: when set, the log-in is SASL XOAUTH2 (else
    // OAUTHBEARER) as UserName with this token, and the password is never
    // sent. A server that lists neither is refused with ELoginRefused.
    std::string AccessToken;
    // The file that remembers the hosts that have offered TLS; empty:
    // nothing is remembered. A bare host remembered there that offers no
    // STLS is refused (ELoginRefused) before any secret is sent.
    std::string TlsHostsFileName;
    // From the last STAT; -1 until the first one.
    int MessageCount = -1;
    long long MailboxSize = -1;

    TmsNumNotifyEvent OnRetrieving, OnRetrieved, OnDeleting;

    void Open() override;
    void Login() override;
    void Logout() override;

    // Fetches message Index and stores it through SaveMessage.
    void Retrieve(int index);
    // Marks message Index for deletion; the server deletes at Logout. A
    // refusal raises EServerError with the reply.
    void Delete(int index);

    // The server listed PIPELINING (RFC 2449) in this session's CAPA.
    bool OffersPipelining() const { return offersPipelining_; }

protected:
    // Stores a retrieved message as its sender wrote it: unstuffed, without
    // the final "." line.
    virtual void SaveMessage(int num, const std::string& contents) = 0;
    virtual void CheckProperties();

    // Sends a command and requires a positive reply (EServerError with the
    // reply otherwise).
    void Command(const std::string& line, const std::string& shown = {});
    // A reply the server cut short raises EServerError that says so
    // (ConnectionLost), a negative one EServerError with its line.
    void CheckReply();
    // Reads a status reply: true for "+OK", false for "-ERR"; one the server
    // cut short raises as CheckReply does.
    bool ReadStatus();
    // Reads the lines of a multi-line reply through its "." line, without
    // the byte-stuffing, handing each to EACH. More than MAXLINES lines fail
    // (Transient) and close the connection.
    void ReadListing(int maxLines, const std::function<void(const std::string&)>& each);
    // The octet count of message Index from LIST; 0 when the reply has none.
    long long ListSize(int index);
    static std::string WireNumber(int index) { return std::to_string(index + 1); }
    // A decimal number and nothing else; -1 for any other text.
    static long long ReadNumber(std::string_view text);

private:
    struct Capabilities {
        bool stls = false;
        // The SASL mechanisms listed, separated by blanks.
        std::string sasl;
    };
    // Asks for the server's capabilities (CAPA); a server without CAPA
    // offers nothing beyond the base protocol.
    Capabilities ReadCapabilities();
    // STLS when the server offers it; a host that offered TLS before and
    // offers none now is refused.
    Capabilities UpgradeWhenOffered();
    void LoginWithToken(const std::string& mechanisms);
    [[noreturn]] void RefuseLogin(const std::string& reason);
    bool IsSaslChallenge() const override;
    void ReadStat();

    bool offersPipelining_ = false;
    // CAPA was read in the session's present security (before TLS counts
    // no more once TLS is up).
    bool capabilitiesRead_ = false;
};

}  // namespace qlk
