#include "ZezeziCore/External/Hub/BinaryDistinctUnicode.hpp"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <memory>

#include "platform/foundation/Unicode.hpp"

namespace ZezeziCore::unicode {

std::u16string utf8ToUtf16(std::string_view s) { return platform::toUtf16(s); }

std::string utf16ToUtf8(std::u16string_view s) { return platform::fromUtf16(s); }

namespace {

struct BreakIteratorDeleter {
    void operator()(icu::BreakIterator* b) const { delete b; }
};

// Making a break iterator loads rules; keep one per thread.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator, BreakIteratorDeleter> it = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator, BreakIteratorDeleter> b(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) b.reset();
        return b;
    }();
    return it.get();
}

bool allSimple(std::u16string_view s) {
    // Printable ASCII letters and spaces never combine with their neighbours,
    // except CR LF which is one cluster.
    for (char16_t c : s)
        if (c >= 0x7F || c < 0x20) return false;
    return true;
}

}  // namespace

std::vector<std::size_t> graphemeBoundaries(std::u16string_view s) {
    std::vector<std::size_t> out;
    if (s.empty()) {
        out.push_back(0);
        return out;
    }
    if (allSimple(s)) {
        out.reserve(s.size() + 1);
        for (std::size_t i = 0; i <= s.size(); ++i) out.push_back(i);
        return out;
    }
    icu::BreakIterator* bi = characterIterator();
    if (!bi) {
        for (std::size_t i = 0; i <= s.size(); ++i) out.push_back(i);
        return out;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText* ut = utext_openUChars(nullptr, s.data(), static_cast<int64_t>(s.size()), &status);
    if (U_FAILURE(status)) {
        for (std::size_t i = 0; i <= s.size(); ++i) out.push_back(i);
        return out;
    }
    bi->setText(ut, status);
    for (int32_t p = bi->first(); p != icu::BreakIterator::DONE; p = bi->next()) out.push_back(static_cast<std::size_t>(p));
    // Detach before the text goes away.
    icu::UnicodeString empty;
    bi->setText(empty);
    utext_close(ut);
    if (out.empty() || out.back() != s.size()) out.push_back(s.size());
    return out;
}

std::size_t graphemeCount(std::u16string_view s) {
    if (s.empty()) return 0;
    if (allSimple(s)) return s.size();
    return graphemeBoundaries(s).size() - 1;
}

}  // namespace ZezeziCore::unicode
