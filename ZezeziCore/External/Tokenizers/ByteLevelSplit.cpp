#include "ZezeziCore/External/Tokenizers/ByteLevelSplit.hpp"

#include <unicode/uchar.h>

#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "platform/foundation/Utf8.hpp"

namespace Tokenizers {

const char* const kByteLevelSplitPattern =
    "'s|'t|'re|'ve|'m|'ll|'d| ?\\p{L}+| ?\\p{N}+| ?[^\\s\\p{L}\\p{N}]+|\\s+(?!\\S)|\\s+";

namespace {

enum class Kind : unsigned char { letter, number, space, other };

Kind kindOf(char32_t c) {
    if (c < 0x80) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return Kind::letter;
        if (c >= '0' && c <= '9') return Kind::number;
        if (c == ' ' || (c >= 0x09 && c <= 0x0D)) return Kind::space;
        return Kind::other;
    }
    // The engine's \s is the White_Space property.
    if (u_isUWhiteSpace(static_cast<UChar32>(c))) return Kind::space;
    switch (u_charType(static_cast<UChar32>(c))) {
        case U_UPPERCASE_LETTER:
        case U_LOWERCASE_LETTER:
        case U_TITLECASE_LETTER:
        case U_MODIFIER_LETTER:
        case U_OTHER_LETTER:
            return Kind::letter;
        case U_DECIMAL_DIGIT_NUMBER:
        case U_LETTER_NUMBER:
        case U_OTHER_NUMBER:
            return Kind::number;
        default:
            return Kind::other;
    }
}

struct Scalar {
    Kind kind;
    std::size_t end;  // byte offset after it
};

Scalar scalarAt(std::string_view s, std::size_t i) {
    std::size_t j = i;
    char32_t c = platform::decodeUtf8(s, j);
    return Scalar{kindOf(c), j};
}

}  // namespace

std::vector<Regex::Range> byteLevelSplitRanges(std::string_view s) {
    std::vector<Regex::Range> out;
    out.reserve(s.size() / 4 + 1);
    const std::size_t n = s.size();
    std::size_t i = 0;
    auto runOf = [&](std::size_t from, Kind kind) {
        std::size_t j = from;
        while (j < n) {
            Scalar sc = scalarAt(s, j);
            if (sc.kind != kind) break;
            j = sc.end;
        }
        return j;
    };
    while (i < n) {
        // Contractions.
        if (s[i] == '\'' && i + 1 < n) {
            static const std::string_view kContractions[] = {"'s", "'t", "'re", "'ve", "'m", "'ll", "'d"};
            bool matched = false;
            for (std::string_view c : kContractions) {
                if (s.compare(i, c.size(), c) == 0) {
                    out.push_back({i, i + c.size()});
                    i += c.size();
                    matched = true;
                    break;
                }
            }
            if (matched) continue;
        }
        Scalar first = scalarAt(s, i);
        // An optional space before a letter, number or other run.
        std::size_t start = i;
        Scalar head = first;
        if (s[i] == ' ' && first.end < n) {
            Scalar next = scalarAt(s, first.end);
            if (next.kind != Kind::space) head = next;
        }
        if (head.kind != Kind::space) {
            std::size_t end = runOf(head.end, head.kind);
            out.push_back({start, end});
            i = end;
            continue;
        }
        // White space: the whole run at the end of the text, else all but
        // its last character, else the single character.
        std::size_t end = runOf(i, Kind::space);
        if (end < n) {
            // Find the start of the run's last scalar.
            std::size_t last = i;
            for (std::size_t j = i; j < end;) {
                last = j;
                j = scalarAt(s, j).end;
            }
            if (last > i) end = last;
        }
        out.push_back({i, end});
        i = end;
    }
    return out;
}

}  // namespace Tokenizers
