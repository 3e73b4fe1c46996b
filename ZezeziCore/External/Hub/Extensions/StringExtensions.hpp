#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ZezeziCore {

// Removes at most `upto` trailing copies of `character` (one user-perceived
// character, compared whole), stopping at the first other one.
std::string trimmingFromEnd(const std::string& text, const std::string& character, int64_t upto);

// The longest prefix ending at a sentence end, else at a clause separator
// followed by a blank, else before the last space, whose trimmed text encodes
// to at least `minTokenCount` tokens. An unfinished last sentence is never
// a candidate.
std::optional<std::string> lastNaturalBoundary(const std::string& text, int64_t minTokenCount,
                                               const std::function<std::vector<int>(const std::string&)>& encode);

}  // namespace ZezeziCore
