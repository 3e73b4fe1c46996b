#pragma once

#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

namespace ZezeziCore {

// The elements a POSIX glob matches (fnmatch, no flags: "*" also crosses "/"
// and matches a leading "."), in their order.
std::vector<std::string> matching(const std::vector<std::string>& names, const std::string& glob);

// Consecutive slices of `size` elements; the last holds the remainder.
template <class T>
std::vector<std::vector<T>> batched(const std::vector<T>& items, long size) {
    if (size == 0) throw std::invalid_argument("batch size must be positive");
    std::vector<std::vector<T>> out;
    if (size < 0) return out;
    for (size_t i = 0; i < items.size(); i += static_cast<size_t>(size))
        out.emplace_back(items.begin() + static_cast<long>(i),
                         items.begin() + static_cast<long>(std::min(items.size(), i + static_cast<size_t>(size))));
    return out;
}

// The list without repeats, first occurrences kept in order.
template <class T, class Hash = std::hash<T>>
std::vector<T> orderedSet(const std::vector<T>& items) {
    std::unordered_set<T, Hash> seen;
    std::vector<T> out;
    for (const auto& item : items)
        if (seen.insert(item).second) out.push_back(item);
    return out;
}

}  // namespace ZezeziCore
