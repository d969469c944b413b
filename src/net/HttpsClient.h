#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qlk {

// One HTTPS request at a time through libcurl, for the token endpoints of
// the OAuth providers. The wait runs the event pump like every other wait in
// the gateway, is bounded by TimeOut, and ends when Cancelled answers true.
// Plain http:// is taken only for a loopback host (a local test server);
// every other address must be https:// with a verified certificate.
class HttpsClient {
public:
    using Fields = std::vector<std::pair<std::string, std::string>>;

    struct Response {
        long Status = 0;
        std::string Body;
    };

    // More than any token endpoint answers; a longer answer is refused.
    static constexpr std::size_t MaxResponseBytes = 256 * 1024;

    std::chrono::seconds TimeOut{30};
    std::function<bool()> Cancelled;

    // POSTs FIELDS form-encoded to URL. Raises ETimedOutError, ECanceledError,
    // or a Transient qlk::Exception when no answer could be had; any HTTP
    // status is an answer.
    Response PostForm(const std::string& url, const Fields& fields);

    // "a=1&b=x%20y": each name and value percent-encoded.
    static std::string FormEncode(const Fields& fields);
    static std::string PercentEncode(const std::string& text);
    // Whether URL may be used: https://, or http:// to 127.0.0.1, [::1] or localhost.
    static bool AllowedUrl(const std::string& url);
};

}  // namespace qlk
