#include "support/TlsPeers.h"

#include "support/ScriptServer.h"

namespace qlk::test {

namespace {

const char* KindName(CertificateKind kind) {
    switch (kind) {
        case CertificateKind::OtherHost:
            return "otherhost";
        case CertificateKind::Expired:
            return "expired";
        case CertificateKind::Good:
            break;
    }
    return "good";
}

}  // namespace

std::unique_ptr<TlsDovecotPeer> TlsDovecotPeer::Start(const std::string& user, const std::string& password,
                                                      CertificateKind kind, std::string& why) {
    std::unique_ptr<TlsDovecotPeer> peer(new TlsDovecotPeer());
    peer->user_ = user;
    peer->pop3sPort_ = FreeLoopbackPort();
    std::string arguments =
        user + " " + password + " " + std::to_string(peer->pop3sPort_) + " " + KindName(kind);
    if (!peer->Launch("start_dovecot_tls.sh", arguments, why)) return nullptr;
    return peer;
}

std::unique_ptr<TlsSmtpPeer> TlsSmtpPeer::Start(const std::string& user, const std::string& password,
                                                bool implicitTls, std::string& why) {
    std::unique_ptr<TlsSmtpPeer> peer(new TlsSmtpPeer());
    std::string arguments = user + " " + password + " good " + (implicitTls ? "implicit" : "starttls");
    if (!peer->Launch("start_aiosmtpd_tls.sh", arguments, why)) return nullptr;
    return peer;
}

}  // namespace qlk::test
