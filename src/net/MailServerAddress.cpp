#include "net/MailServerAddress.h"

#include <charconv>

#include "message/TextUtils.h"

namespace qlk {

namespace {

constexpr std::string_view kSeparator = "://";

// The port after the host; 0 (look the service up) when none is given or the
// text is not a port number, as a bare "host:port" always read.
std::optional<std::uint16_t> PortOf(std::string_view endpoint, std::string_view& host) {
    std::string_view portText;
    host = endpoint;
    if (!endpoint.empty() && endpoint.front() == '[') {
        auto close = endpoint.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = endpoint.substr(1, close - 1);
        std::string_view rest = endpoint.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return std::nullopt;
        portText = rest.empty() ? rest : rest.substr(1);
    } else if (auto colon = endpoint.find(':'); colon != std::string_view::npos) {
        // More than one colon and no brackets: an IPv6 literal without a port.
        if (endpoint.find(':', colon + 1) != std::string_view::npos) return 0;
        host = endpoint.substr(0, colon);
        portText = endpoint.substr(colon + 1);
    }
    if (portText.empty()) return 0;
    unsigned value = 0;
    auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
    if (ec != std::errc() || end != portText.data() + portText.size() || value > 65535) return 0;
    return static_cast<std::uint16_t>(value);
}

// A host name or address literal: no blanks, controls, paths or user parts.
bool PlainHost(std::string_view host) {
    if (host.empty()) return false;
    for (unsigned char c : host) {
        if (c <= ' ' || c >= 127 || c == '/' || c == '@' || c == '\\' || c == '?' || c == '#') return false;
    }
    return true;
}

}  // namespace

std::optional<MailServerAddress> MailServerAddress::Parse(std::string_view server, std::string_view scheme,
                                                          std::uint16_t implicitTlsPort) {
    MailServerAddress address;
    std::string_view endpoint = server;
    std::optional<TlsMode> chosen;
    if (auto separator = server.find(kSeparator); separator != std::string_view::npos) {
        std::string_view given = server.substr(0, separator);
        if (SameText(given, scheme)) {
            chosen = TlsMode::Plain;
        } else if (given.size() == scheme.size() + 1 && SameText(given.substr(0, scheme.size()), scheme) &&
                   (given.back() == 's' || given.back() == 'S')) {
            chosen = TlsMode::Implicit;
        } else {
            return std::nullopt;
        }
        endpoint = server.substr(separator + kSeparator.size());
        // "pop3s://host/" as a browser would write it.
        if (!endpoint.empty() && endpoint.back() == '/') endpoint.remove_suffix(1);
    }
    std::string_view host;
    auto port = PortOf(endpoint, host);
    if (!port || !PlainHost(host)) return std::nullopt;
    address.Host = std::string(host);
    if (chosen) {
        address.Tls = *chosen;
    } else {
        address.Tls = *port == implicitTlsPort ? TlsMode::Implicit : TlsMode::WhenOffered;
    }
    if (*port == 0 && address.Tls == TlsMode::Implicit) port = implicitTlsPort;
    address.Endpoint = address.Host.find(':') == std::string::npos ? address.Host : "[" + address.Host + "]";
    if (*port != 0) address.Endpoint += ":" + std::to_string(*port);
    return address;
}

}  // namespace qlk
