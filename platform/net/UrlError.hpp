#pragma once

#include <string>

#include "platform/foundation/Error.hpp"

namespace platform::net {

// A transfer failure, with the codes callers tell apart.
class UrlError : public platform::Error {
public:
    enum class Code : int {
        unknown = -1,
        cancelled = -999,
        badURL = -1000,
        timedOut = -1001,
        cannotFindHost = -1003,
        cannotConnectToHost = -1004,
        networkConnectionLost = -1005,
        httpTooManyRedirects = -1007,
        resourceUnavailable = -1008,
        notConnectedToInternet = -1009,
        badServerResponse = -1011,
        secureConnectionFailed = -1200,
    };

    explicit UrlError(Code code, std::string detail = {}) : code_(code), detail_(std::move(detail)) {}

    Code code() const { return code_; }
    const std::string& detail() const { return detail_; }

    std::string description() const override;
    std::string localizedDescription() const override;

private:
    Code code_;
    std::string detail_;
};

}  // namespace platform::net
