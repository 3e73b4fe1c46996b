#include "platform/net/Url.hpp"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace platform::net {

namespace {

bool isUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isPathChar(unsigned char c) {
    // pchar of RFC 3986 minus "%", which we always encode in raw input.
    return isUnreserved(c) || c == '!' || c == '$' || c == '&' || c == '\'' || c == '(' ||
           c == ')' || c == '*' || c == '+' || c == ',' || c == ';' || c == '=' || c == ':' ||
           c == '@';
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// A scheme is letters, digits, "+", "-" and "." before the first ":", and
// only counts when that ":" comes before any "/", "?" or "#": so a query
// holding "http://..." stays part of a relative reference.
bool hasScheme(std::string_view ref) {
    auto colon = ref.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    if (!std::isalpha(static_cast<unsigned char>(ref[0]))) return false;
    return std::all_of(ref.begin(), ref.begin() + static_cast<std::ptrdiff_t>(colon), [](unsigned char c) {
        return std::isalnum(c) || c == '+' || c == '-' || c == '.';
    });
}

struct HandleDeleter {
    void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
using Handle = std::unique_ptr<CURLU, HandleDeleter>;

// One part of a parsed URL, absent when the URL has none.
std::optional<std::string> part(CURLU* h, CURLUPart which) {
    char* value = nullptr;
    if (curl_url_get(h, which, &value, 0) != CURLUE_OK || value == nullptr) return std::nullopt;
    std::string text(value);
    curl_free(value);
    return text;
}

}  // namespace

// The parts of a URL that libcurl has parsed: only http(s), with a host and
// without credentials.
std::optional<Url> Url::fromHandle(void* handle) {
    auto* h = static_cast<CURLU*>(handle);
    Url url;
    url.scheme_ = lower(part(h, CURLUPART_SCHEME).value_or(""));
    if (url.scheme_ != "http" && url.scheme_ != "https") return std::nullopt;
    if (part(h, CURLUPART_USER) || part(h, CURLUPART_PASSWORD)) return std::nullopt;
    auto host = part(h, CURLUPART_HOST);
    if (!host || host->empty()) return std::nullopt;
    url.host_ = lower(*host);
    if (auto port = part(h, CURLUPART_PORT)) {
        const int value = std::atoi(port->c_str());
        if (value < 1 || value > 65535) return std::nullopt;
        url.port_ = value;
    }
    url.path_ = part(h, CURLUPART_PATH).value_or("/");
    url.query_ = part(h, CURLUPART_QUERY);
    return url;
}

std::optional<Url> Url::parse(std::string_view text) {
    Handle h(curl_url());
    if (!h) return std::nullopt;
    const std::string copy(text);
    if (curl_url_set(h.get(), CURLUPART_URL, copy.c_str(), 0) != CURLUE_OK) return std::nullopt;
    return fromHandle(h.get());
}

int Url::effectivePort() const {
    if (port_) return *port_;
    return scheme_ == "https" ? 443 : 80;
}

std::string Url::string() const {
    std::string s = scheme_ + "://" + host_;
    if (port_) s += ":" + std::to_string(*port_);
    s += path_;
    if (query_) s += "?" + *query_;
    return s;
}

std::string Url::lastPathComponent() const {
    std::string_view p = path_;
    while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
    auto slash = p.rfind('/');
    std::string_view last = slash == std::string_view::npos ? p : p.substr(slash + 1);
    if (last.empty()) return "/";
    return percentDecode(last);
}

Url Url::appendingPathComponent(std::string_view segment) const {
    Url url = *this;
    if (url.path_.empty() || url.path_.back() != '/') url.path_ += '/';
    url.path_ += percentEncodeSegment(segment);
    return url;
}

Url Url::appendingPath(std::string_view path) const {
    Url url = *this;
    size_t start = 0;
    while (start <= path.size()) {
        auto slash = path.find('/', start);
        std::string_view seg = path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (!seg.empty()) url = url.appendingPathComponent(seg);
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return url;
}

Url Url::withPathAndQuery(std::string path, std::optional<std::string> query) const {
    Url url = *this;
    if (!path.empty() && path.front() != '/') path = "/" + path;
    url.path_ = std::move(path);
    url.query_ = std::move(query);
    return url;
}

bool Url::isLoopback() const {
    const std::string_view host = host_;
    if (host == "localhost" || (host.size() > 10 && host.substr(host.size() - 10) == ".localhost")) return true;
    in_addr v4{};
    if (inet_pton(AF_INET, host_.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        const std::string inner(host.substr(1, host.size() - 2));
        in6_addr v6{};
        if (inet_pton(AF_INET6, inner.c_str(), &v6) != 1) return false;
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

bool Url::sameOrigin(const Url& other) const {
    return scheme_ == other.scheme_ && host_ == other.host_ && effectivePort() == other.effectivePort();
}

bool Url::isHostless(std::string_view ref) { return !hasScheme(ref) && ref.substr(0, 2) != "//"; }

std::optional<Url> Url::resolve(std::string_view ref) const {
    Handle h(curl_url());
    if (!h) return std::nullopt;
    const std::string base = string();
    const std::string reference(ref);
    // Set on a handle that holds a URL, a relative reference is resolved
    // against it (dot segments removed); an absolute one replaces it.
    if (curl_url_set(h.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(h.get(), CURLUPART_URL, reference.c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    return fromHandle(h.get());
}

std::string Url::percentEncodeSegment(std::string_view raw) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(raw.size());
    for (unsigned char c : raw) {
        if (isPathChar(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string Url::percentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() &&
            std::isxdigit(static_cast<unsigned char>(s[i + 1])) && std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

}  // namespace platform::net
