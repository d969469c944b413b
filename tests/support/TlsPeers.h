#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "support/Peers.h"

namespace qlk::test {

// The server certificate a TLS peer presents, signed by a CA of its own.
enum class CertificateKind { Good, OtherHost, Expired };

// Dovecot requiring TLS: STLS on Port(), TLS from the first byte on
// Pop3sPort(). Clients trust it through TrustFile().
class TlsDovecotPeer : public DovecotPeer {
public:
    static std::unique_ptr<TlsDovecotPeer> Start(const std::string& user, const std::string& password,
                                                 CertificateKind kind, std::string& why);
    std::uint16_t Pop3sPort() const { return pop3sPort_; }
    std::filesystem::path TrustFile() const { return Dir() / "ca.pem"; }

private:
    TlsDovecotPeer() = default;
    std::uint16_t pop3sPort_ = 0;
};

// aiosmtpd requiring TLS (STARTTLS, or from the first byte) and a log-in;
// each envelope begins with "AUTH:<login>".
class TlsSmtpPeer : public SmtpPeer {
public:
    static std::unique_ptr<TlsSmtpPeer> Start(const std::string& user, const std::string& password,
                                              bool implicitTls, std::string& why);
    std::filesystem::path TrustFile() const { return Dir() / "ca.pem"; }

private:
    TlsSmtpPeer() = default;
};

}  // namespace qlk::test
