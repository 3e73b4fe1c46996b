#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/foundation/Utf8.hpp"

// The one walk over extended grapheme clusters (user-perceived characters),
// ICU's character breaks underneath.
//
// `visit(start, end)` is called for each cluster in order, with offsets in
// bytes (UTF-8) or code units (UTF-16); a visitor that returns bool stops
// the walk by returning false. Ill-formed sequences count as U+FFFD, each
// a cluster of its own.
namespace platform {

namespace detail {

// Below U+0300 no character joins its neighbour, except CR LF: such text
// is one cluster per code point and needs no break rules.
inline bool clustersAreCodePoints(std::string_view utf8) {
    for (unsigned char c : utf8)
        if (c == '\r' || c >= 0xCC) return false;  // 0xCC leads U+0300
    return true;
}
inline bool clustersAreCodePoints(std::u16string_view utf16) {
    for (char16_t c : utf16)
        if (c == u'\r' || c >= 0x300) return false;
    return true;
}

using ClusterVisitor = bool (*)(void* visit, size_t start, size_t end);
void visitClustersWithBreakRules(std::string_view utf8, ClusterVisitor visitor, void* visit);
void visitClustersWithBreakRules(std::u16string_view utf16, ClusterVisitor visitor, void* visit);

template <class Visit>
bool callVisit(Visit& visit, size_t start, size_t end) {
    if constexpr (std::is_same_v<decltype(visit(start, end)), bool>) {
        return visit(start, end);
    } else {
        visit(start, end);
        return true;
    }
}

template <class Text, class Visit>
void visitWithBreakRules(Text text, Visit& visit) {
    visitClustersWithBreakRules(
        text, [](void* v, size_t start, size_t end) { return callVisit(*static_cast<Visit*>(v), start, end); },
        const_cast<void*>(static_cast<const void*>(&visit)));
}

}  // namespace detail

template <class Visit>
void forEachGraphemeCluster(std::string_view utf8, Visit&& visit) {
    if (utf8.empty()) return;
    if (detail::clustersAreCodePoints(utf8)) {
        for (size_t i = 0; i < utf8.size();) {
            const size_t start = i;
            if (static_cast<unsigned char>(utf8[i]) < 0x80)
                ++i;
            else
                decodeUtf8(utf8, i);
            if (!detail::callVisit(visit, start, i)) return;
        }
        return;
    }
    detail::visitWithBreakRules(utf8, visit);
}

template <class Visit>
void forEachGraphemeCluster(std::u16string_view utf16, Visit&& visit) {
    if (utf16.empty()) return;
    if (detail::clustersAreCodePoints(utf16)) {
        for (size_t i = 0; i < utf16.size(); ++i)
            if (!detail::callVisit(visit, i, i + 1)) return;
        return;
    }
    detail::visitWithBreakRules(utf16, visit);
}

}  // namespace platform
