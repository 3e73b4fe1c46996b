#include "ZezeziCore/External/Hub/PathSafety.hpp"

#include <algorithm>

namespace Hub {

namespace {
bool hasBadCharacter(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f || c == '\\'; });
}
}  // namespace

bool isSafeFileNameComponent(std::string_view name) {
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && !hasBadCharacter(name);
}

bool isSafeRelativePath(std::string_view path) {
    if (path.empty() || path.front() == '/' || hasBadCharacter(path)) return false;
    size_t start = 0;
    while (true) {
        auto slash = path.find('/', start);
        auto seg = path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (!isSafeFileNameComponent(seg)) return false;
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
}

bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    auto p = std::filesystem::absolute(path).lexically_normal();
    auto f = std::filesystem::absolute(folder).lexically_normal();
    auto rel = p.lexically_relative(f);
    return !rel.empty() && rel != "." && *rel.begin() != "..";
}

bool isOutside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    auto p = std::filesystem::absolute(path).lexically_normal();
    auto f = std::filesystem::absolute(folder).lexically_normal();
    auto rel = p.lexically_relative(f);
    return rel.empty() || *rel.begin() == "..";
}

}  // namespace Hub
