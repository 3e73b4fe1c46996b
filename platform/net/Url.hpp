#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::net {

// An absolute http(s) URL kept with its path percent-encoded, so that a
// segment holding "/" (a revision such as refs/pr/1) stays one segment.
// Parsing and resolving are libcurl's URL parser.
class Url {
public:
    static std::optional<Url> parse(std::string_view text);

    const std::string& scheme() const { return scheme_; }
    const std::string& host() const { return host_; }
    std::optional<int> port() const { return port_; }
    int effectivePort() const;
    const std::string& path() const { return path_; }    // encoded, "" or starting with "/"
    const std::optional<std::string>& query() const { return query_; }

    std::string string() const;
    std::string lastPathComponent() const;  // decoded

    // One segment: every reserved character, "/" included, is escaped.
    Url appendingPathComponent(std::string_view segment) const;
    // A relative path: each "/" starts a new segment.
    Url appendingPath(std::string_view path) const;

    Url withPathAndQuery(std::string path, std::optional<std::string> query) const;

    // The host is this machine: "localhost" (or a name under it), an IPv4
    // address in 127.0.0.0/8, or ::1 (also IPv4-mapped). Names are not looked up.
    bool isLoopback() const;

    // Same scheme, host and port: where credentials may go.
    bool sameOrigin(const Url& other) const;

    // Resolves a Location value (absolute, scheme-relative or relative).
    std::optional<Url> resolve(std::string_view reference) const;
    // True for a reference that names no host: no scheme and no "//" start.
    static bool isHostless(std::string_view reference);

    static std::string percentEncodeSegment(std::string_view raw);
    static std::string percentDecode(std::string_view encoded);

    bool operator==(const Url& other) const { return string() == other.string(); }

private:
    static std::optional<Url> fromHandle(void* handle);

    std::string scheme_;
    std::string host_;
    std::optional<int> port_;
    std::string path_;
    std::optional<std::string> query_;
};

}  // namespace platform::net
