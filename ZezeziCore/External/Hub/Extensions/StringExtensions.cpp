#include "ZezeziCore/External/Hub/Extensions/StringExtensions.hpp"

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <memory>

#include "platform/foundation/GraphemeClusters.hpp"
#include "platform/foundation/Trim.hpp"

namespace ZezeziCore {

namespace {

bool isSpaceOrNewline(UChar32 c) { return platform::isWhitespaceOrNewline(static_cast<char32_t>(c)); }

bool isLineBreak(UChar32 c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x2028 || c == 0x2029 || c == 0x85;
}

std::string utf8(const icu::UnicodeString& u, int32_t start, int32_t end) {
    std::string out;
    u.tempSubStringBetween(start, end).toUTF8String(out);
    return out;
}

}  // namespace

std::string trimmingFromEnd(const std::string& text, const std::string& character, int64_t upto) {
    if (upto < 1) return text;
    std::string result = text;
    for (int64_t n = 0; n < upto && !result.empty(); ++n) {
        size_t lastStart = 0;
        platform::forEachGraphemeCluster(result, [&](size_t start, size_t) { lastStart = start; });
        if (result.compare(lastStart, std::string::npos, character) != 0) break;
        result.resize(lastStart);
    }
    return result;
}

std::optional<std::string> lastNaturalBoundary(const std::string& text, int64_t minTokenCount,
                                               const std::function<std::vector<int>(const std::string&)>& encode) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
    auto qualifies = [&](const std::string& prefix) {
        return static_cast<int64_t>(encode(platform::trimmingWhitespaceAndNewlines(prefix)).size()) >= minTokenCount;
    };

    // 1. Sentence ends.
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> sentences(icu::BreakIterator::createSentenceInstance(icu::Locale::getDefault(), status));
    if (U_SUCCESS(status)) {
        sentences->setText(u);
        std::vector<int32_t> bounds;
        for (int32_t p = sentences->first(); p != icu::BreakIterator::DONE; p = sentences->next()) bounds.push_back(p);
        for (size_t i = bounds.size(); i-- > 1;) {
            int32_t start = bounds[i - 1], end = bounds[i];
            if (i == bounds.size() - 1) {
                // The last sentence counts only when it is finished.
                static const std::u32string closers = U"\"')]}\u201D\u2019\u00BB\u300D";
                static const std::u32string terminators = U".!?\u2026\u3002\uFF01\uFF1F";
                int32_t cut = end;
                bool lineBreak = false;
                while (cut > start) {
                    int32_t prev = u.moveIndex32(cut, -1);
                    UChar32 c = u.char32At(prev);
                    if (isSpaceOrNewline(c) || closers.find(static_cast<char32_t>(c)) != std::u32string::npos) {
                        if (isLineBreak(c)) lineBreak = true;
                        cut = prev;
                    } else {
                        break;
                    }
                }
                bool complete = lineBreak;
                if (!complete && cut > start) {
                    UChar32 last = u.char32At(u.moveIndex32(cut, -1));
                    complete = terminators.find(static_cast<char32_t>(last)) != std::u32string::npos;
                }
                if (!complete) continue;
            }
            std::string candidate = utf8(u, 0, end);
            if (qualifies(candidate)) return candidate;
        }
    }

    // 2. Clause separators followed by a blank or the end.
    for (int32_t i = u.length(); i > 0;) {
        i = u.moveIndex32(i, -1);
        UChar32 c = u.char32At(i);
        if (c != ',' && c != ';' && c != ':' && c != '-' && c != 0x2013) continue;
        int32_t after = i + U16_LENGTH(c);
        if (after < u.length() && !isSpaceOrNewline(u.char32At(after))) continue;
        std::string candidate = utf8(u, 0, after);
        if (qualifies(candidate)) return candidate;
    }

    // 3. Before the last space.
    auto space = text.rfind(' ');
    if (space != std::string::npos) {
        std::string candidate = text.substr(0, space);
        if (qualifies(candidate)) return candidate;
    }
    return std::nullopt;
}

}  // namespace ZezeziCore
