#include "net/HttpsClient.h"

#include <curl/curl.h>

#include <memory>

#include "net/ECanceledError.h"
#include "net/ETimedOutError.h"
#include "platform/AsciiCase.h"
#include "platform/EventPump.h"
#include "platform/Exception.h"

namespace qlk {

namespace {

constexpr int PollMilliseconds = 50;

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

void EnsureCurl() {
    static CurlGlobal global;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Sink {
    std::string body;
    bool overflow = false;
};

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const std::size_t bytes = size * count;
    if (sink->body.size() + bytes > HttpsClient::MaxResponseBytes) {
        sink->overflow = true;
        return 0;
    }
    sink->body.append(data, bytes);
    return bytes;
}

}  // namespace

bool HttpsClient::AllowedUrl(const std::string& url) {
    const std::string lower = LowerCase(url);
    if (lower.rfind("https://", 0) == 0) return lower.size() > 8;
    for (const char* loopback : {"http://127.0.0.1:", "http://127.0.0.1/", "http://[::1]:", "http://[::1]/",
                                 "http://localhost:", "http://localhost/"})
        if (lower.rfind(loopback, 0) == 0) return true;
    return false;
}

std::string HttpsClient::PercentEncode(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string HttpsClient::FormEncode(const Fields& fields) {
    std::string out;
    for (const auto& [name, value] : fields) {
        if (!out.empty()) out += '&';
        out += PercentEncode(name) + '=' + PercentEncode(value);
    }
    return out;
}

HttpsClient::Response HttpsClient::PostForm(const std::string& url, const Fields& fields) {
    if (!AllowedUrl(url)) throw Exception("Refusing to send a log-in request to " + url + ": not https://");
    EnsureCurl();
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi) throw Exception("HTTPS is not available", ErrorKind::Transient);

    const std::string body = FormEncode(fields);
    std::unique_ptr<curl_slist, ListDeleter> headers(curl_slist_append(nullptr, "Accept: application/json"));
    Sink sink;
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(TimeOut.count() * 1000));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(e, CURLOPT_USERAGENT, "Quelmark");

    curl_multi_add_handle(multi.get(), e);
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
        if (running == 0) break;
        curl_multi_poll(multi.get(), nullptr, 0, PollMilliseconds, nullptr);
        ProcessMessages();
        if (Cancelled && Cancelled()) {
            curl_multi_remove_handle(multi.get(), e);
            throw ECanceledError("Operation has been canceled");
        }
    }
    CURLcode result = CURLE_FAILED_INIT;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left))
        if (message->msg == CURLMSG_DONE && message->easy_handle == e) result = message->data.result;
    curl_multi_remove_handle(multi.get(), e);

    if (result == CURLE_OPERATION_TIMEDOUT) throw ETimedOutError("Operation timed out");
    if (sink.overflow) throw Exception("The answer of " + url + " is too long", ErrorKind::Transient);
    if (result != CURLE_OK)
        throw Exception(std::string("HTTPS request failed: ") + curl_easy_strerror(result),
                        ErrorKind::Transient);
    Response response;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &response.Status);
    response.Body = std::move(sink.body);
    return response;
}

}  // namespace qlk
