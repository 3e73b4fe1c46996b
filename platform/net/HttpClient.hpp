#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/net/Url.hpp"
#include "platform/net/UrlError.hpp"

namespace platform::net {

// Response header fields, looked up without regard to case.
class HttpHeaders {
public:
    void add(std::string name, std::string value);
    void set(std::string name, std::string value);
    std::optional<std::string> value(std::string_view name) const;
    bool contains(std::string_view name) const { return value(name).has_value(); }
    const std::vector<std::pair<std::string, std::string>>& all() const { return fields_; }
    void clear() { fields_.clear(); }

    // Whether two field names are the same name (ASCII case ignored).
    static bool sameName(std::string_view a, std::string_view b);

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

struct HttpRequest {
    std::string method = "GET";  // "GET" or "HEAD"
    Url url;
    HttpHeaders headers;
    // Sent as "Authorization: Bearer <token>" to the first URL's origin only,
    // never to another host a redirect leads to. Empty sends nothing.
    std::optional<std::string> bearerToken;
    // Seconds without any byte before the transfer fails with timedOut,
    // measured from the last byte received (not a total limit). Infinity
    // waits without limit; zero, a negative value or NaN means the default.
    double idleTimeout = defaultIdleTimeout;
    bool followRedirects = true;
    int maxRedirects = 10;

    static constexpr double defaultIdleTimeout = 60;
};

struct HttpResponse {
    int status = 0;
    Url url;  // after the redirects that were followed
    HttpHeaders headers;
    std::string body;  // empty for streamed transfers
};

// An HTTP client. Every call is blocking, cancellable through the stop token
// (a cancelled transfer throws UrlError::Code::cancelled), and safe from any
// thread. Tests hand their users a fake (platform/net/fake/FakeHttpClient).
class HttpClient {
public:
    using HeadHandler = std::function<void(const HttpResponse&)>;
    using DataHandler = std::function<void(const char* data, size_t size)>;

    virtual ~HttpClient() = default;

    // Body collected in memory.
    virtual HttpResponse send(const HttpRequest& request, std::stop_token stop = {}) const = 0;

    // Body streamed: onHead runs once the final response head has arrived,
    // then onData for each block of the body. An exception thrown by a
    // handler ends the transfer and is rethrown as is. A transport failure
    // throws UrlError; the caller knows from onHead whether the head came.
    virtual HttpResponse stream(const HttpRequest& request, const HeadHandler& onHead, const DataHandler& onData,
                                std::stop_token stop = {}) const = 0;

    // The process's libcurl client, for users that are handed none.
    static std::shared_ptr<HttpClient> shared();
};

}  // namespace platform::net
