#pragma once

#include <filesystem>
#include <string_view>

namespace Hub {

// Names that come from the server become paths in the cache; these checks keep
// them inside it.

// A relative path of plain segments: not empty, not absolute, no "." or ".."
// segment, no empty segment, no backslash, no control character.
bool isSafeRelativePath(std::string_view path);

// One file-name component: no "/", no "." or "..", no control character.
bool isSafeFileNameComponent(std::string_view name);

// True when `path` lies inside `folder` (both made absolute, not resolved).
bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder);

// True when `path` is neither `folder` nor inside it.
bool isOutside(const std::filesystem::path& path, const std::filesystem::path& folder);

}  // namespace Hub
