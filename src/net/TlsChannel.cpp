#include "net/TlsChannel.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <cerrno>
#include <filesystem>

namespace qlk {

namespace {

// Writes with MSG_NOSIGNAL: a server that hung up must give an error, not
// end the process with SIGPIPE.
int SendNoSignal(BIO* bio, const char* data, int size) {
    int fd = -1;
    BIO_get_fd(bio, &fd);
    BIO_clear_retry_flags(bio);
    ssize_t sent = ::send(fd, data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

// The library's socket BIO with SendNoSignal as its writer; made once.
BIO_METHOD* SocketMethod() {
    static BIO_METHOD* method = [] {
        const BIO_METHOD* base = BIO_s_socket();
        BIO_METHOD* made = BIO_meth_new(BIO_TYPE_SOCKET, "qlk socket");
        BIO_meth_set_write(made, SendNoSignal);
        BIO_meth_set_read(made, BIO_meth_get_read(base));
        BIO_meth_set_puts(made, BIO_meth_get_puts(base));
        BIO_meth_set_gets(made, BIO_meth_get_gets(base));
        BIO_meth_set_ctrl(made, BIO_meth_get_ctrl(base));
        BIO_meth_set_create(made, BIO_meth_get_create(base));
        BIO_meth_set_destroy(made, BIO_meth_get_destroy(base));
        BIO_meth_set_callback_ctrl(made, BIO_meth_get_callback_ctrl(base));
        return made;
    }();
    return method;
}

bool IsAddressLiteral(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// The reason of the oldest queued library error, "" when none is queued.
std::string LibraryReason() {
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return {};
    if (const char* reason = ERR_reason_error_string(code)) return reason;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

}  // namespace

TlsChannel::TlsChannel(int fd, const std::string& host, const std::string& trustFile) : host_(host) {
    ERR_clear_error();
    if (!Configure(fd, trustFile)) {
        if (failure_.empty()) failure_ = "TLS is not available: " + LibraryReason();
        SSL_free(ssl_);
        ssl_ = nullptr;
    }
}

TlsChannel::~TlsChannel() {
    SSL_free(ssl_);
    SSL_CTX_free(context_);
}

bool TlsChannel::Configure(int fd, const std::string& trustFile) {
    context_ = SSL_CTX_new(TLS_client_method());
    if (!context_) return false;
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    // A server that simply closes after its last reply is common; the
    // protocols' own end markers show whether anything was cut off.
    SSL_CTX_set_options(context_,
                        SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_set_default_verify_paths(context_) != 1) return false;
    std::error_code ignored;
    if (!trustFile.empty() && std::filesystem::exists(trustFile, ignored)) {
        if (SSL_CTX_load_verify_locations(context_, trustFile.c_str(), nullptr) != 1) {
            failure_ = "Cannot read the trusted certificates in " + trustFile;
            return false;
        }
    }
    // A certificate the office trusts by name need not lead to a root.
    X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(context_), X509_V_FLAG_PARTIAL_CHAIN);

    ssl_ = SSL_new(context_);
    if (!ssl_) return false;
    BIO* bio = BIO_new(SocketMethod());
    if (!bio) return false;
    BIO_set_fd(bio, fd, BIO_NOCLOSE);
    SSL_set_bio(ssl_, bio, bio);
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (IsAddressLiteral(host_)) {
        if (X509_VERIFY_PARAM_set1_ip_asc(param, host_.c_str()) != 1) return false;
    } else if (SSL_set_tlsext_host_name(ssl_, host_.c_str()) != 1 ||
               SSL_set1_host(ssl_, host_.c_str()) != 1) {
        return false;
    }
    SSL_set_connect_state(ssl_);
    return true;
}

TlsChannel::Status TlsChannel::Handshake() {
    if (!ssl_) return Status::Failed;
    ERR_clear_error();
    int result = SSL_do_handshake(ssl_);
    if (result == 1) {
        established_ = true;
        return Status::Done;
    }
    return Outcome(result, "handshake");
}

TlsChannel::Status TlsChannel::Read(char* data, std::size_t size, std::size_t& count) {
    count = 0;
    if (!ssl_) return Status::Failed;
    ERR_clear_error();
    int result = SSL_read_ex(ssl_, data, size, &count);
    return result == 1 ? Status::Done : Outcome(result, "session");
}

TlsChannel::Status TlsChannel::Write(const char* data, std::size_t size, std::size_t& count) {
    count = 0;
    if (!ssl_) return Status::Failed;
    ERR_clear_error();
    int result = SSL_write_ex(ssl_, data, size, &count);
    return result == 1 ? Status::Done : Outcome(result, "session");
}

bool TlsChannel::Pending() const {
    return ssl_ && SSL_pending(ssl_) > 0;
}

void TlsChannel::Shutdown() noexcept {
    if (!ssl_ || !established_) return;
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
}

TlsChannel::Status TlsChannel::Outcome(int result, const char* doing) {
    int error = SSL_get_error(ssl_, result);
    switch (error) {
        case SSL_ERROR_WANT_READ:
            return Status::WantRead;
        case SSL_ERROR_WANT_WRITE:
            return Status::WantWrite;
        case SSL_ERROR_ZERO_RETURN:
            return Status::Closed;
        default:
            break;
    }
    const long verifyResult = SSL_get_verify_result(ssl_);
    std::string reason = LibraryReason();
    if (!established_ && verifyResult != X509_V_OK) {
        failure_ = CertificateProblem(verifyResult);
    } else if (error == SSL_ERROR_SYSCALL && reason.empty()) {
        if (established_) return Status::Closed;
        failure_ = "TLS handshake with " + host_ + " failed: the server closed the connection";
    } else {
        failure_ = std::string("TLS ") + doing + " with " + host_ +
                   " failed: " + (reason.empty() ? std::string("error ") + std::to_string(error) : reason);
    }
    // A failed session is never used again, not even to say goodbye.
    established_ = false;
    return Status::Failed;
}

std::string TlsChannel::CertificateProblem(long verifyResult) const {
    switch (verifyResult) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return "Certificate of " + host_ + " has expired";
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return "Certificate of " + host_ + " is not yet valid";
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return "Certificate is for another host than " + host_;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            return "Certificate of " + host_ + " is from an unknown issuer";
        default:
            return "Certificate of " + host_ + " refused: " + X509_verify_cert_error_string(verifyResult);
    }
}

}  // namespace qlk
