#pragma once

#include "platform/net/HttpClient.hpp"

namespace platform::net {

// HTTP on libcurl. Each call uses its own connection state. The idle
// time-out is our own clock (time since the last byte), checked at least
// ten times a second, so a stalled body fails when the request says.
class CurlHttpClient : public HttpClient {
public:
    CurlHttpClient();

    HttpResponse send(const HttpRequest& request, std::stop_token stop = {}) const override;
    HttpResponse stream(const HttpRequest& request, const HeadHandler& onHead, const DataHandler& onData,
                        std::stop_token stop = {}) const override;
};

}  // namespace platform::net
