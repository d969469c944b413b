#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qlk {

// How a mail client protects its session.
enum class TlsMode {
    // Plain on purpose ("pop3://", "smtp://"): a test server or a trusted LAN.
    Plain,
    // TLS once the server offers it (STLS, STARTTLS), and then required;
    // plain only with a server that offers none.
    WhenOffered,
    // TLS from the first byte ("pop3s://", "smtps://", or the TLS port).
    Implicit,
};

// What the operator wrote as a mail server: "pop3s://host[:port]",
// "pop3://host[:port]" or a bare "host[:port]" (and the same with "smtps" and
// "smtp"), split into the endpoint the socket connects to and the TLS mode.
struct MailServerAddress {
    // "host", "host:port" or "[v6]:port", as the socket layer reads it.
    std::string Endpoint;
    std::string Host;
    TlsMode Tls = TlsMode::WhenOffered;

    // `scheme` is the plain scheme ("pop3", "smtp"); its "s" form and
    // `implicitTlsPort` (995, 465) select TLS from the first byte. Nothing
    // when the text names another scheme or carries more than a host and a
    // port.
    static std::optional<MailServerAddress> Parse(std::string_view server, std::string_view scheme,
                                                  std::uint16_t implicitTlsPort);
};

}  // namespace qlk
