#include "platform/foundation/GraphemeClusters.hpp"

#include <memory>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

namespace platform::detail {

namespace {

// Character break iterators are costly to make and not thread-safe: one
// per thread.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) made.reset();
        return made;
    }();
    return iterator.get();
}

// Walks the boundaries of an opened text; without break data (or text),
// `fallback` visits one cluster per code point instead.
template <class Fallback>
void visitBoundaries(UText* text, UErrorCode status, ClusterVisitor visitor, void* visit, Fallback fallback) {
    icu::BreakIterator* iterator = characterIterator();
    if (!iterator || !text || U_FAILURE(status)) {
        if (text) utext_close(text);
        fallback();
        return;
    }
    iterator->setText(text, status);
    int32_t start = iterator->first();
    for (int32_t end = iterator->next(); end != icu::BreakIterator::DONE; start = end, end = iterator->next())
        if (!visitor(visit, static_cast<size_t>(start), static_cast<size_t>(end))) break;
    // Detach the iterator from the text before closing it.
    icu::UnicodeString empty;
    iterator->setText(empty);
    utext_close(text);
}

}  // namespace

void visitClustersWithBreakRules(std::string_view utf8, ClusterVisitor visitor, void* visit) {
    UErrorCode status = U_ZERO_ERROR;
    UText* text = utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
    visitBoundaries(text, status, visitor, visit, [&] {
        for (size_t i = 0; i < utf8.size();) {
            const size_t start = i;
            decodeUtf8(utf8, i);
            if (!visitor(visit, start, i)) return;
        }
    });
}

void visitClustersWithBreakRules(std::u16string_view utf16, ClusterVisitor visitor, void* visit) {
    UErrorCode status = U_ZERO_ERROR;
    UText* text = utext_openUChars(nullptr, utf16.data(), static_cast<int64_t>(utf16.size()), &status);
    visitBoundaries(text, status, visitor, visit, [&] {
        for (size_t i = 0; i < utf16.size();) {
            const size_t start = i;
            const bool pair = U16_IS_LEAD(utf16[i]) && i + 1 < utf16.size() && U16_IS_TRAIL(utf16[i + 1]);
            i += pair ? 2 : 1;
            if (!visitor(visit, start, i)) return;
        }
    });
}

}  // namespace platform::detail
