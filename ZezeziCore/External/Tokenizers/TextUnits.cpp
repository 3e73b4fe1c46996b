#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "platform/foundation/GraphemeClusters.hpp"
#include "platform/foundation/Unicode.hpp"
#include "platform/foundation/Utf8.hpp"

namespace Tokenizers::text {

namespace {

std::string normalizeWith(const icu::Normalizer2* (*get)(UErrorCode&), std::string_view s) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = get(status);
    if (U_FAILURE(status)) return std::string(s);
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    if (n->isNormalized(u, status) && U_SUCCESS(status)) return std::string(s);
    status = U_ZERO_ERROR;
    icu::UnicodeString out = n->normalize(u, status);
    if (U_FAILURE(status)) return std::string(s);
    std::string r;
    out.toUTF8String(r);
    return r;
}

}  // namespace

std::vector<std::string_view> characters(std::string_view s) {
    std::vector<std::string_view> out;
    out.reserve(s.size());
    platform::forEachGraphemeCluster(s, [&](std::size_t a, std::size_t b) { out.push_back(s.substr(a, b - a)); });
    return out;
}

std::size_t characterCount(std::string_view s) {
    std::size_t n = 0;
    platform::forEachGraphemeCluster(s, [&](std::size_t, std::size_t) { ++n; });
    return n;
}

std::size_t nextCharacterBoundary(std::string_view s, std::size_t offset) {
    if (offset >= s.size()) return s.size();
    unsigned char c = static_cast<unsigned char>(s[offset]);
    if (c < 0x80 && c != '\r' && (offset + 1 >= s.size() || static_cast<unsigned char>(s[offset + 1]) < 0xCC)) return offset + 1;
    // Characters are short: look at a window from the offset.
    std::string_view window = s.substr(offset, std::min<std::size_t>(s.size() - offset, 1024));
    std::size_t result = s.size();
    platform::forEachGraphemeCluster(window, [&](std::size_t, std::size_t b) {
        result = offset + b;
        return false;
    });
    return result;
}

char32_t firstScalar(std::string_view s) {
    if (s.empty()) return 0xFFFD;
    std::size_t i = 0;
    return platform::decodeUtf8(s, i);
}

std::string nfc(std::string_view s) { return normalizeWith(&icu::Normalizer2::getNFCInstance, s); }
std::string nfd(std::string_view s) { return normalizeWith(&icu::Normalizer2::getNFDInstance, s); }
std::string nfkc(std::string_view s) { return normalizeWith(&icu::Normalizer2::getNFKCInstance, s); }
std::string nfkd(std::string_view s) { return normalizeWith(&icu::Normalizer2::getNFKDInstance, s); }

std::string lowercased(std::string_view s) {
    bool ascii = true;
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    return platform::lowercased(s);
}

bool isWhiteSpace(char32_t c) { return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE); }

bool isSpaceSeparatorOrTab(char32_t c) { return c == 0x09 || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR; }

bool isPunctuation(char32_t c) { return u_ispunct(static_cast<UChar32>(c)); }

bool isCjkIdeograph(char32_t c) {
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x20000 && c <= 0x2A6DF) ||
           (c >= 0x2A700 && c <= 0x2CEAF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x2F800 && c <= 0x2FA1F);
}

std::string spacedCjkIdeographs(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::string_view ch : characters(text)) {
        if (isCjkIdeograph(firstScalar(ch))) {
            out.push_back(' ');
            out.append(ch);
            out.push_back(' ');
        } else {
            out.append(ch);
        }
    }
    return out;
}

std::string withoutNonSpacingMarks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t start = i;
        char32_t c = platform::decodeUtf8(text, i);
        if (u_charType(static_cast<UChar32>(c)) == U_NON_SPACING_MARK) continue;
        out.append(text.substr(start, i - start));
    }
    return out;
}

std::string replacingAll(std::string_view text, std::string_view of, std::string_view with) {
    if (of.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (true) {
        std::size_t hit = text.find(of, pos);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(with);
        pos = hit + of.size();
    }
    out.append(text.substr(pos));
    return out;
}

}  // namespace Tokenizers::text
