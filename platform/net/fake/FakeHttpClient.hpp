#pragma once

#include <algorithm>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/net/HttpClient.hpp"

namespace platform::net {

// An HTTP client the test scripts: every request is recorded and answered by
// the handler (404 without one). Redirects are returned, never followed.
class FakeHttpClient : public HttpClient {
public:
    struct Reply {
        int status = 200;
        HttpHeaders headers;
        std::string body;
        // Thrown before anything arrives (no head), or after the body.
        std::optional<UrlError::Code> failBeforeHead;
        std::optional<UrlError::Code> failAfterBody;
    };
    using Handler = std::function<Reply(const HttpRequest&)>;

    void setHandler(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }

    std::vector<HttpRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    HttpResponse send(const HttpRequest& request, std::stop_token stop = {}) const override {
        return stream(request, {}, {}, std::move(stop));
    }

    HttpResponse stream(const HttpRequest& request, const HeadHandler& onHead, const DataHandler& onData,
                        std::stop_token stop = {}) const override {
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            handler = handler_;
        }
        if (stop.stop_requested()) throw UrlError(UrlError::Code::cancelled);
        Reply reply = handler ? handler(request) : Reply{404, {}, {}, {}, {}};
        if (reply.failBeforeHead) throw UrlError(*reply.failBeforeHead, "scripted failure");
        HttpResponse response{reply.status, request.url, reply.headers, {}};
        if (onHead) onHead(response);
        if (request.method != "HEAD") {
            if (onData) {
                // In blocks, as a network would deliver them.
                for (size_t at = 0; at < reply.body.size(); at += kBlock) {
                    if (stop.stop_requested()) throw UrlError(UrlError::Code::cancelled);
                    onData(reply.body.data() + at, std::min(kBlock, reply.body.size() - at));
                }
            } else {
                response.body = reply.body;
            }
        }
        if (reply.failAfterBody) throw UrlError(*reply.failAfterBody, "scripted failure");
        return response;
    }

private:
    static constexpr size_t kBlock = 16384;
    mutable std::mutex mutex_;
    mutable std::vector<HttpRequest> requests_;
    Handler handler_;
};

}  // namespace platform::net
