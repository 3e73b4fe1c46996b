#include "platform/net/HttpClient.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>

namespace platform::net {

namespace {

bool iequals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return std::string(s);
}

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

struct Transfer {
    const HttpClient::HeadHandler* onHead = nullptr;
    const HttpClient::DataHandler* onData = nullptr;
    std::stop_token stop;
    bool followRedirects = true;
    HttpResponse response;
    bool headComplete = false;
    bool deliver = true;  // false for a redirect that will be followed
    std::exception_ptr failure;
};

size_t onHeaderLine(char* buffer, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * count;
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
            t->response.headers.add(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
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

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    return t->stop.stop_requested() ? 1 : 0;
}

struct EasyDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

HttpResponse perform(const HttpRequest& request, const HttpClient::HeadHandler* onHead,
                     const HttpClient::DataHandler* onData, std::stop_token stop) {
    globalInit();
    if (request.bearerToken && hasLineBreak(*request.bearerToken))
        throw UrlError(UrlError::Code::badURL, "token holds a line break");
    for (const auto& [name, value] : request.headers.all())
        if (hasLineBreak(name) || hasLineBreak(value)) throw UrlError(UrlError::Code::badURL, "header holds a line break");

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) throw UrlError(UrlError::Code::unknown, "no transfer handle");
    const Url origin = request.url;
    Url current = request.url;
    std::string method = request.method;
    long idle = std::max(1L, static_cast<long>(std::ceil(request.idleTimeout)));

    for (int hop = 0;; ++hop) {
        if (stop.stop_requested()) throw UrlError(UrlError::Code::cancelled);
        Transfer t;
        t.onHead = onHead;
        t.onData = onData;
        t.stop = stop;
        t.followRedirects = request.followRedirects;
        t.response.url = current;

        std::unique_ptr<curl_slist, ListDeleter> list;
        auto addHeader = [&](const std::string& line) { list.reset(curl_slist_append(list.release(), line.c_str())); };
        for (const auto& [name, value] : request.headers.all()) {
            if (iequals(name, "Authorization")) continue;
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
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &onProgress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, idle * 1000L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, idle);
        curl_easy_setopt(c, CURLOPT_BUFFERSIZE, 512L * 1024L);
        curl_easy_setopt(c, CURLOPT_USERAGENT, "parlox");

        CURLcode code = curl_easy_perform(c);
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

void HttpHeaders::add(std::string name, std::string value) { fields_.emplace_back(std::move(name), std::move(value)); }

void HttpHeaders::set(std::string name, std::string value) {
    fields_.erase(std::remove_if(fields_.begin(), fields_.end(), [&](const auto& f) { return iequals(f.first, name); }),
                  fields_.end());
    add(std::move(name), std::move(value));
}

std::optional<std::string> HttpHeaders::value(std::string_view name) const {
    for (const auto& [n, v] : fields_)
        if (iequals(n, name)) return v;
    return std::nullopt;
}

HttpClient::HttpClient() { globalInit(); }

HttpResponse HttpClient::send(const HttpRequest& request, std::stop_token stop) const {
    return perform(request, nullptr, nullptr, std::move(stop));
}

HttpResponse HttpClient::stream(const HttpRequest& request, const HeadHandler& onHead, const DataHandler& onData,
                                std::stop_token stop) const {
    return perform(request, &onHead, &onData, std::move(stop));
}

std::shared_ptr<HttpClient> HttpClient::shared() {
    static auto client = std::make_shared<HttpClient>();
    return client;
}

}  // namespace platform::net
