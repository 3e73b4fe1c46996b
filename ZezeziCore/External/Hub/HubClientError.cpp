#include "ZezeziCore/External/Hub/HubClientError.hpp"

namespace Hub {

HubClientError HubClientError::authorizationRequired(std::optional<int64_t> statusCode) {
    HubClientError e(Kind::authorizationRequired);
    e.status_ = statusCode;
    return e;
}

HubClientError HubClientError::httpStatusCode(int64_t status) {
    HubClientError e(Kind::httpStatusCode);
    e.status_ = status;
    return e;
}

HubClientError HubClientError::jsonSerialization(std::string fileURL, std::string message) {
    HubClientError e(Kind::jsonSerialization);
    e.fileURL_ = std::move(fileURL);
    e.text_ = std::move(message);
    return e;
}

HubClientError HubClientError::downloadError(std::string message) {
    HubClientError e(Kind::downloadError);
    e.text_ = std::move(message);
    return e;
}

HubClientError HubClientError::fileNotFound(std::string name) {
    HubClientError e(Kind::fileNotFound);
    e.text_ = std::move(name);
    return e;
}

HubClientError HubClientError::networkError(const platform::net::UrlError& error) {
    HubClientError e(Kind::networkError);
    e.urlCode_ = error.code();
    e.urlDetail_ = error.detail();
    e.text_ = error.localizedDescription();
    return e;
}

HubClientError HubClientError::resourceNotFound(std::string repoId) {
    HubClientError e(Kind::resourceNotFound);
    e.text_ = std::move(repoId);
    return e;
}

HubClientError HubClientError::configurationMissing(std::string fileName) {
    HubClientError e(Kind::configurationMissing);
    e.text_ = std::move(fileName);
    return e;
}

HubClientError HubClientError::fileSystemError(std::exception_ptr error) {
    HubClientError e(Kind::fileSystemError);
    e.underlying_ = error;
    e.text_ = describeError(error);
    return e;
}

HubClientError HubClientError::parseError(std::string message) {
    HubClientError e(Kind::parseError);
    e.text_ = std::move(message);
    return e;
}

HubClientError HubClientError::parse() { return HubClientError(Kind::parse); }

HubClientError HubClientError::unexpectedError() { return HubClientError(Kind::unexpectedError); }

std::optional<platform::net::UrlError> HubClientError::urlError() const {
    if (!urlCode_) return std::nullopt;
    return platform::net::UrlError(*urlCode_, urlDetail_);
}

std::string HubClientError::errorDescription() const {
    switch (kind_) {
        case Kind::authorizationRequired:
            if (!status_) return "Authentication required. Please provide a valid Hugging Face token.";
            return "Authentication failed with status code: " + std::to_string(*status_) +
                   ". Please check your Hugging Face token.";
        case Kind::httpStatusCode: return "HTTP error with status code: " + std::to_string(status_.value_or(0));
        case Kind::jsonSerialization: return text_;
        case Kind::downloadError: return "Download failed: " + text_;
        case Kind::fileNotFound: return "File not found: " + text_;
        case Kind::networkError: return "Network error: " + text_;
        case Kind::resourceNotFound: return "Resource not found: " + text_;
        case Kind::configurationMissing: return "Required configuration file missing: " + text_;
        case Kind::fileSystemError: return "File system error: " + text_;
        case Kind::parseError: return "Parse error: " + text_;
        case Kind::parse: return "Failed to parse server response.";
        case Kind::unexpectedError: return "An unexpected error occurred.";
    }
    return "An unexpected error occurred.";
}

std::string describeError(const std::exception& error) {
    if (auto* e = dynamic_cast<const platform::Error*>(&error)) return e->localizedDescription();
    return error.what();
}

std::string describeError(std::exception_ptr error) {
    if (!error) return "";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return describeError(e);
    } catch (...) {
        return "unknown error";
    }
}

}  // namespace Hub
