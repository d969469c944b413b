#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "net/MailServerAddress.h"
#include "net/SaslLogin.h"
#include "net/TagSocket.h"

namespace qlk {

// The base of the mail clients: a connection with a session that is started
// by Login and ended by Logout. Server may name the TLS mode: "pop3s://host"
// (ServiceName and "s") or the ImplicitTlsPort for TLS from the first byte,
// "pop3://host" for plain on purpose, a bare host for TLS whenever the server
// offers it.
class TmsMailBase : public TagSocket {
public:
    TmsMailBase() { SetTimeOut(60); }

    // The port of TLS from the first byte (995 for POP3, 465 for SMTP).
    std::uint16_t ImplicitTlsPort = 0;

    // True once this session's log-in sent a password without TLS: to a
    // server that offers none, or to a "pop3://" or "smtp://" host.
    bool PasswordInClear() const { return passwordInClear_; }

    virtual void Login() = 0;
    virtual void Logout() = 0;

    // Opens and logs in unless connected already. A connection the server
    // has ended is closed first, so the session starts afresh.
    void Connect();
    // Logs out and closes while connected; a Logout that raises leaves the
    // connection open. A connection the server has ended is only closed.
    void Disconnect();

    // The text a dot-stuffed data block carries: the leading "." of every
    // line taken off again and the final "." line left out.
    static std::string UnstuffDataBlock(std::string_view block);

protected:
    // Reads Server as a mail server address; an unknown scheme fails with
    // "Invalid URL".
    std::string ResolveEndpoint() override;
    // The TLS mode of the server being opened.
    TlsMode Security() const { return address_.Tls; }
    const std::string& ServerHost() const { return address_.Host; }
    // Connects, with TLS at once when the address asks for it from the
    // first byte.
    void ConnectSession();
    void SetPasswordInClear(bool value) { passwordInClear_ = value; }

    // Reply lines during a log-in exchange: challenges may carry an access
    // token's worth of text (2 to 8 KB, base64 on top).
    static constexpr std::size_t SaslLineLength = 16 * 1024;
    // Challenges one log-in may bring; an honest server needs at most three.
    static constexpr int MaxSaslChallenges = 8;
    // The AUTH exchange: "AUTH mechanism", with the first message on the
    // same line when the line stays within inlineLimit bytes, then an answer
    // to each challenge (IsSaslChallenge) until the server's final reply,
    // which is left in Reply() for the caller to judge. Every message is
    // shown masked.
    void ExchangeSasl(SaslLogin& login, std::size_t inlineLimit);
    // Whether the reply just read asks the client for more ("334" or "+ ").
    virtual bool IsSaslChallenge() const = 0;

private:
    MailServerAddress address_;
    bool passwordInClear_ = false;
};

}  // namespace qlk
