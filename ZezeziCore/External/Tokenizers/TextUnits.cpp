#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <memory>

#include "platform/foundation/Unicode.hpp"

namespace Tokenizers::text {

namespace {

icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> it = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> b(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) b.reset();
        return b;
    }();
    return it.get();
}

// Below U+0300 no character combines with a neighbour, except CR LF.
bool simpleScalars(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\r') return false;
        if (c >= 0xCC) return false;  // lead bytes of U+0300 and above
    }
    return true;
}

template <class F>
void forEachBoundary(std::string_view s, F f) {
    if (s.empty()) return;
    if (simpleScalars(s)) {
        for (std::size_t i = 0; i < s.size();) {
            std::size_t start = i;
            unsigned char c = static_cast<unsigned char>(s[i]);
            i += c < 0x80 ? 1 : (c < 0xE0 ? 2 : (c < 0xF0 ? 3 : 4));
            if (i > s.size()) i = s.size();
            f(start, i);
        }
        return;
    }
    icu::BreakIterator* bi = characterIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText* ut = bi ? utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status) : nullptr;
    if (!bi || U_FAILURE(status)) {
        for (std::size_t i = 0; i < s.size();) {
            std::size_t start = i;
            nextScalar(s, i);
            f(start, i);
        }
        return;
    }
    bi->setText(ut, status);
    int32_t prev = bi->first();
    for (int32_t p = bi->next(); p != icu::BreakIterator::DONE; p = bi->next()) {
        f(static_cast<std::size_t>(prev), static_cast<std::size_t>(p));
        prev = p;
    }
    icu::UnicodeString empty;
    bi->setText(empty);
    utext_close(ut);
}

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
    forEachBoundary(s, [&](std::size_t a, std::size_t b) { out.push_back(s.substr(a, b - a)); });
    return out;
}

std::size_t characterCount(std::string_view s) {
    std::size_t n = 0;
    forEachBoundary(s, [&](std::size_t, std::size_t) { ++n; });
    return n;
}

std::size_t nextCharacterBoundary(std::string_view s, std::size_t offset) {
    if (offset >= s.size()) return s.size();
    unsigned char c = static_cast<unsigned char>(s[offset]);
    if (c < 0x80 && c != '\r' && (offset + 1 >= s.size() || static_cast<unsigned char>(s[offset + 1]) < 0xCC)) return offset + 1;
    // Characters are short: look at a window from the offset.
    std::string_view window = s.substr(offset, std::min<std::size_t>(s.size() - offset, 1024));
    std::size_t result = s.size();
    bool found = false;
    forEachBoundary(window, [&](std::size_t, std::size_t b) {
        if (!found) {
            result = offset + b;
            found = true;
        }
    });
    return result;
}

char32_t nextScalar(std::string_view s, std::size_t& i) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    unsigned char c = p[i];
    if (c < 0x80) {
        ++i;
        return c;
    }
    std::size_t len;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; if (c == 0xE0) lo = 0xA0; if (c == 0xED) hi = 0x9F; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; if (c == 0xF0) lo = 0x90; if (c == 0xF4) hi = 0x8F; }
    else { ++i; return 0xFFFD; }
    std::size_t j = 1;
    for (; j < len; ++j) {
        if (i + j >= n) break;
        unsigned char b = p[i + j];
        if (j == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) break;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (j < len) {
        i += j;
        return 0xFFFD;
    }
    i += len;
    return cp;
}

char32_t firstScalar(std::string_view s) {
    if (s.empty()) return 0xFFFD;
    std::size_t i = 0;
    return nextScalar(s, i);
}

void appendScalar(std::string& out, char32_t cp) { out += platform::fromCodePoint(cp); }

std::string repaired(std::string_view bytes) {
    if (platform::isValidUtf8(bytes)) return std::string(bytes);
    return platform::repairUtf8(bytes);
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
        char32_t c = nextScalar(text, i);
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
