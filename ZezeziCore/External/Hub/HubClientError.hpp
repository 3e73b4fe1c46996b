#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "platform/foundation/Error.hpp"
#include "platform/net/UrlError.hpp"

namespace Hub {

// The hub client's error: one kind and the payload that kind carries.
class HubClientError : public platform::Error {
public:
    enum class Kind {
        authorizationRequired,
        httpStatusCode,
        jsonSerialization,
        downloadError,
        fileNotFound,
        networkError,
        resourceNotFound,
        configurationMissing,
        fileSystemError,
        parseError,
        parse,
        unexpectedError,
    };

    static HubClientError authorizationRequired(std::optional<int64_t> statusCode);
    static HubClientError httpStatusCode(int64_t status);
    static HubClientError jsonSerialization(std::string fileURL, std::string message);
    static HubClientError downloadError(std::string message);
    static HubClientError fileNotFound(std::string name);
    static HubClientError networkError(const platform::net::UrlError& error);
    static HubClientError resourceNotFound(std::string repoId);
    static HubClientError configurationMissing(std::string fileName);
    static HubClientError fileSystemError(std::exception_ptr error);
    static HubClientError parseError(std::string message);
    static HubClientError parse();
    static HubClientError unexpectedError();

    Kind kind() const { return kind_; }
    std::optional<int64_t> statusCode() const { return status_; }
    const std::string& text() const { return text_; }
    const std::string& fileURL() const { return fileURL_; }
    std::optional<platform::net::UrlError> urlError() const;
    std::exception_ptr underlying() const { return underlying_; }

    std::string description() const override { return errorDescription(); }
    std::string localizedDescription() const override { return errorDescription(); }
    std::string errorDescription() const;

private:
    explicit HubClientError(Kind kind) : kind_(kind) {}

    Kind kind_;
    std::optional<int64_t> status_;
    std::string text_;
    std::string fileURL_;
    std::optional<platform::net::UrlError::Code> urlCode_;
    std::string urlDetail_;
    std::exception_ptr underlying_;
};

// Text of any exception, for messages that embed another error.
std::string describeError(std::exception_ptr error);
std::string describeError(const std::exception& error);

// A cancelled operation (the caller's stop token was triggered).
class CancellationError : public platform::Error {
public:
    std::string description() const override { return "The operation was cancelled."; }
};

}  // namespace Hub
