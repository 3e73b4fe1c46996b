#include "platform/net/UrlError.hpp"

namespace platform::net {

std::string UrlError::localizedDescription() const {
    switch (code_) {
        case Code::cancelled: return "cancelled";
        case Code::badURL: return "unsupported URL";
        case Code::timedOut: return "The request timed out.";
        case Code::cannotFindHost: return "A server with the specified hostname could not be found.";
        case Code::cannotConnectToHost: return "Could not connect to the server.";
        case Code::networkConnectionLost: return "The network connection was lost.";
        case Code::httpTooManyRedirects: return "too many HTTP redirects";
        case Code::resourceUnavailable: return "The requested resource is unavailable.";
        case Code::notConnectedToInternet: return "The Internet connection appears to be offline.";
        case Code::badServerResponse: return "The server returned a bad response.";
        case Code::secureConnectionFailed: return "A TLS error caused the secure connection to fail.";
        case Code::unknown: break;
    }
    return "An unknown network error occurred.";
}

std::string UrlError::description() const {
    std::string text = "URL error " + std::to_string(static_cast<int>(code_)) + ": " + localizedDescription();
    if (!detail_.empty()) text += " (" + detail_ + ")";
    return text;
}

}  // namespace platform::net
