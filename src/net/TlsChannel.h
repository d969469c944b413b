#pragma once

#include <cstddef>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace qlk {

// One TLS client session over a connected non-blocking socket (OpenSSL):
// TLS 1.2 at least, the server's certificate verified against the system's
// trust store plus an optional file of extra trust anchors, with the host
// name checked and sent (SNI). It never blocks: every operation tells what
// the socket has to become before it can go on.
class TlsChannel {
public:
    enum class Status {
        Done,
        WantRead,
        WantWrite,
        // The peer ended the session (close_notify or end of stream).
        Closed,
        // Nothing more can be done on this session; FailureText says why.
        Failed,
    };

    // `host` is the name (or address literal) the certificate must carry;
    // `trustFile`, when it names an existing file, adds its certificates as
    // trust anchors.
    TlsChannel(int fd, const std::string& host, const std::string& trustFile);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    Status Handshake();
    // `count` is the number of bytes read or written when Done.
    Status Read(char* data, std::size_t size, std::size_t& count);
    Status Write(const char* data, std::size_t size, std::size_t& count);
    // Bytes already decrypted and waiting, which the socket will not signal.
    bool Pending() const;
    // Says goodbye to the server (close_notify) without waiting for its answer.
    void Shutdown() noexcept;
    // The readable reason of the last failure: an expired or foreign
    // certificate, an unknown issuer, or the library's own reason.
    const std::string& FailureText() const { return failure_; }

private:
    bool Configure(int fd, const std::string& trustFile);
    Status Outcome(int result, const char* doing);
    std::string CertificateProblem(long verifyResult) const;

    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
    std::string host_;
    std::string failure_;
    bool established_ = false;
};

}  // namespace qlk
