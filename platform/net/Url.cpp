#include "platform/net/Url.hpp"

#include <algorithm>
#include <cctype>

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

bool hasControl(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x21 || c == 0x7f; });
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

}  // namespace

std::optional<Url> Url::parse(std::string_view text) {
    auto sep = text.find("://");
    if (sep == std::string_view::npos || sep == 0) return std::nullopt;
    Url url;
    url.scheme_ = lower(std::string(text.substr(0, sep)));
    if (url.scheme_ != "http" && url.scheme_ != "https") return std::nullopt;
    std::string_view rest = text.substr(sep + 3);
    if (auto hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
    if (hasControl(rest)) return std::nullopt;
    auto authEnd = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, authEnd);
    rest = authEnd == std::string_view::npos ? std::string_view{} : rest.substr(authEnd);
    if (authority.find('@') != std::string_view::npos) return std::nullopt;
    std::string_view host = authority;
    if (!authority.empty() && authority.front() == '[') {
        auto close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = authority.substr(0, close + 1);
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return std::nullopt;
            authority = after;
        } else {
            authority = {};
        }
    } else if (auto colon = authority.rfind(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        authority = authority.substr(colon);
    } else {
        authority = {};
    }
    if (host.empty()) return std::nullopt;
    url.host_ = lower(std::string(host));
    if (!authority.empty()) {
        std::string_view digits = authority.substr(1);
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
            return std::nullopt;
        int port = std::stoi(std::string(digits));
        if (port < 1 || port > 65535) return std::nullopt;
        url.port_ = port;
    }
    auto q = rest.find('?');
    url.path_ = std::string(rest.substr(0, q));
    if (q != std::string_view::npos) url.query_ = std::string(rest.substr(q + 1));
    return url;
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

bool Url::sameOrigin(const Url& other) const {
    return scheme_ == other.scheme_ && host_ == other.host_ && effectivePort() == other.effectivePort();
}

bool Url::isHostless(std::string_view ref) { return !hasScheme(ref) && ref.substr(0, 2) != "//"; }

std::optional<Url> Url::resolve(std::string_view ref) const {
    if (hasScheme(ref)) return parse(ref);
    if (hasControl(ref)) return std::nullopt;
    if (ref.substr(0, 2) == "//") return parse(scheme_ + ":" + std::string(ref));
    std::string_view pathPart = ref;
    std::optional<std::string> query;
    if (auto h = pathPart.find('#'); h != std::string_view::npos) pathPart = pathPart.substr(0, h);
    if (auto q = pathPart.find('?'); q != std::string_view::npos) {
        query = std::string(pathPart.substr(q + 1));
        pathPart = pathPart.substr(0, q);
    }
    std::string path;
    if (pathPart.empty()) {
        path = path_;
        if (!query) query = query_;
    } else if (pathPart.front() == '/') {
        path = std::string(pathPart);
    } else {
        auto slash = path_.rfind('/');
        path = (slash == std::string::npos ? std::string("/") : path_.substr(0, slash + 1)) + std::string(pathPart);
    }
    return withPathAndQuery(std::move(path), std::move(query));
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
