#include "platform/net/CurlHttpClient.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>

#include "platform/foundation/NumberFormat.hpp"
#include "platform/foundation/Trim.hpp"

namespace platform::net {

namespace {

using Clock = std::chrono::steady_clock;

bool hasLineBreak(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c == '\r' || c == '\n' || c == 0; });
}

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

UrlError::Code mapCode(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY: return UrlError::Code::cannotFindHost;
        case CURLE_COULDNT_CONNECT: return UrlError::Code::cannotConnectToHost;
        case CURLE_OPERATION_TIMEDOUT: return UrlError::Code::timedOut;
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING: return UrlError::Code::networkConnectionLost;
        case CURLE_TOO_MANY_REDIRECTS: return UrlError::Code::httpTooManyRedirects;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE: return UrlError::Code::secureConnectionFailed;
        case CURLE_ABORTED_BY_CALLBACK: return UrlError::Code::cancelled;
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT: return UrlError::Code::badURL;
        case CURLE_WEIRD_SERVER_REPLY: return UrlError::Code::badServerResponse;
        default: return UrlError::Code::unknown;
    }
}

// Seconds without a byte before giving up; infinity means no limit.
double idleLimit(double requested) {
    if (std::isnan(requested) || requested <= 0) return HttpRequest::defaultIdleTimeout;
    return requested;
}

struct Transfer {
    const HttpClient::HeadHandler* onHead = nullptr;
    const HttpClient::DataHandler* onData = nullptr;
    bool followRedirects = true;
    HttpResponse response;
    bool headComplete = false;
    bool deliver = true;  // false for a redirect that will be followed
    std::exception_ptr failure;
    Clock::time_point lastByte = Clock::now();
};

size_t onHeaderLine(char* buffer, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * count;
    t->lastByte = Clock::now();
    std::string_view line(buffer, n);
    try {
        if (line.substr(0, 5) == "HTTP/") {
            // A new response head (an interim 1xx or the final one).
            t->response.headers.clear();
            t->headComplete = false;
            auto sp = line.find(' ');
            t->response.status = sp == std::string_view::npos ? 0 : std::atoi(std::string(line.substr(sp + 1, 3)).c_str());
        } else if (line == "\r\n" || line == "\n") {
            if (t->response.status >= 100 && t->response.status < 200) return n;
            t->headComplete = true;
            bool redirect = t->response.status >= 300 && t->response.status < 400 &&
                            t->response.headers.contains("Location");
            t->deliver = !(t->followRedirects && redirect);
            if (t->deliver && t->onHead && *t->onHead) (*t->onHead)(t->response);
        } else if (auto colon = line.find(':'); colon != std::string_view::npos) {
            t->response.headers.add(trimmingAscii(line.substr(0, colon), kAsciiWhitespace),
                                    trimmingAscii(line.substr(colon + 1), kAsciiWhitespace));
        }
    } catch (...) {
        t->failure = std::current_exception();
        return 0;
    }
    return n;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * count;
    t->lastByte = Clock::now();
    if (!t->deliver) return n;
    try {
        if (t->onData && *t->onData) {
            (*t->onData)(data, n);
        } else {
            t->response.body.append(data, n);
        }
    } catch (...) {
        t->failure = std::current_exception();
        return CURL_WRITEFUNC_ERROR;
    }
    return n;
}

struct EasyDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// Runs one transfer to its end, watching the stop token and the time since
// the last byte ourselves: libcurl's own low-speed check averages over a
// window and fires seconds late.
CURLcode run(CURLM* multi, CURL* easy, Transfer& t, double idleSeconds, const std::stop_token& stop) {
    curl_multi_add_handle(multi, easy);
    struct Detach {
        CURLM* multi;
        CURL* easy;
        ~Detach() { curl_multi_remove_handle(multi, easy); }
    } detach{multi, easy};
    // A stop request wakes the wait at once.
    std::stop_callback wake(stop, [multi] { curl_multi_wakeup(multi); });
    const bool limited = std::isfinite(idleSeconds);
    const auto idle = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limited ? idleSeconds : 0));
    t.lastByte = Clock::now();
    for (;;) {
        int running = 0;
        CURLMcode mc = curl_multi_perform(multi, &running);
        if (mc != CURLM_OK) throw UrlError(UrlError::Code::unknown, curl_multi_strerror(mc));
        if (t.failure) std::rethrow_exception(t.failure);
        if (running == 0) break;
        if (stop.stop_requested()) throw UrlError(UrlError::Code::cancelled);
        auto waitFor = std::chrono::milliseconds(100);
        if (limited) {
            const auto left = t.lastByte + idle - Clock::now();
            if (left <= Clock::duration::zero())
                throw UrlError(UrlError::Code::timedOut, "no data for " + formatShortest(idleSeconds) + " s");
            waitFor = std::min(waitFor, std::chrono::ceil<std::chrono::milliseconds>(left));
        }
        mc = curl_multi_poll(multi, nullptr, 0, static_cast<int>(waitFor.count()), nullptr);
        if (mc != CURLM_OK) throw UrlError(UrlError::Code::unknown, curl_multi_strerror(mc));
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) return message->data.result;
    }
    return CURLE_OK;
}

HttpResponse perform(const HttpRequest& request, const HttpClient::HeadHandler* onHead,
                     const HttpClient::DataHandler* onData, std::stop_token stop) {
    globalInit();
    if (request.bearerToken && hasLineBreak(*request.bearerToken))
        throw UrlError(UrlError::Code::badURL, "token holds a line break");
    for (const auto& [name, value] : request.headers.all())
        if (hasLineBreak(name) || hasLineBreak(value)) throw UrlError(UrlError::Code::badURL, "header holds a line break");

    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!multi || !easy) throw UrlError(UrlError::Code::unknown, "no transfer handle");
    const Url origin = request.url;
    Url current = request.url;
    std::string method = request.method;
    const double idle = idleLimit(request.idleTimeout);

    for (int hop = 0;; ++hop) {
        if (stop.stop_requested()) throw UrlError(UrlError::Code::cancelled);
        Transfer t;
        t.onHead = onHead;
        t.onData = onData;
        t.followRedirects = request.followRedirects;
        t.response.url = current;

        std::unique_ptr<curl_slist, ListDeleter> list;
        auto addHeader = [&](const std::string& line) { list.reset(curl_slist_append(list.release(), line.c_str())); };
        for (const auto& [name, value] : request.headers.all()) {
            if (HttpHeaders::sameName(name, "Authorization")) continue;
            addHeader(name + ": " + value);
        }
        if (request.bearerToken && !request.bearerToken->empty() && current.sameOrigin(origin))
            addHeader("Authorization: Bearer " + *request.bearerToken);
        if (!request.headers.contains("Accept")) addHeader("Accept: */*");
        addHeader("Expect:");

        CURL* c = easy.get();
        curl_easy_reset(c);
        std::string urlText = current.string();
        curl_easy_setopt(c, CURLOPT_URL, urlText.c_str());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
        if (method == "HEAD") curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, list.get());
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &onHeaderLine);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &onBody);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(c, CURLOPT_BUFFERSIZE, 512L * 1024L);
        curl_easy_setopt(c, CURLOPT_USERAGENT, "parlox");

        CURLcode code = run(multi.get(), c, t, idle, stop);
        if (t.failure) std::rethrow_exception(t.failure);
        if (code != CURLE_OK) throw UrlError(mapCode(code), curl_easy_strerror(code));

        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        t.response.status = static_cast<int>(status);
        if (t.deliver || !request.followRedirects) {
            if (!t.headComplete && onHead && *onHead) (*onHead)(t.response);
            return std::move(t.response);
        }
        if (hop >= request.maxRedirects) throw UrlError(UrlError::Code::httpTooManyRedirects);
        auto next = current.resolve(*t.response.headers.value("Location"));
        if (!next) throw UrlError(UrlError::Code::badServerResponse, "unusable redirect location");
        if (status == 303 && method != "HEAD") method = "GET";
        current = *next;
    }
}

}  // namespace

CurlHttpClient::CurlHttpClient() { globalInit(); }

HttpResponse CurlHttpClient::send(const HttpRequest& request, std::stop_token stop) const {
    return perform(request, nullptr, nullptr, std::move(stop));
}

HttpResponse CurlHttpClient::stream(const HttpRequest& request, const HeadHandler& onHead, const DataHandler& onData,
                                    std::stop_token stop) const {
    return perform(request, &onHead, &onData, std::move(stop));
}

}  // namespace platform::net
