#include "DovuzudUza/Core/LanguageRecognizer.hpp"

#include <map>

#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include "platform/foundation/Unicode.hpp"

namespace DovuzudUza {

namespace {

// The language of a script written by one language only; empty otherwise.
std::string languageOfScript(UScriptCode script) {
    switch (script) {
        case USCRIPT_HAN: return "zh";
        case USCRIPT_HIRAGANA:
        case USCRIPT_KATAKANA: return "ja";
        case USCRIPT_THAI: return "th";
        case USCRIPT_LAO: return "lo";
        case USCRIPT_MYANMAR: return "my";
        case USCRIPT_HANGUL: return "ko";
        case USCRIPT_GREEK: return "el";
        case USCRIPT_HEBREW: return "he";
        case USCRIPT_ARMENIAN: return "hy";
        case USCRIPT_GEORGIAN: return "ka";
        case USCRIPT_KHMER: return "km";
        case USCRIPT_TIBETAN: return "bo";
        case USCRIPT_SINHALA: return "si";
        case USCRIPT_TAMIL: return "ta";
        case USCRIPT_TELUGU: return "te";
        case USCRIPT_KANNADA: return "kn";
        case USCRIPT_MALAYALAM: return "ml";
        case USCRIPT_GUJARATI: return "gu";
        case USCRIPT_GURMUKHI: return "pa";
        case USCRIPT_ETHIOPIC: return "am";
        default: return {};
    }
}

}  // namespace

std::optional<std::string> ScriptLanguageRecognizer::dominantLanguage(std::string_view text) const {
    // Letters per script; Han and kana count together, since Japanese text
    // mixes them and any kana marks it as Japanese.
    std::map<UScriptCode, size_t> letters;
    size_t kana = 0;
    for (char32_t c : platform::toUtf32(text)) {
        if (!u_isalpha(static_cast<UChar32>(c))) continue;
        UErrorCode status = U_ZERO_ERROR;
        UScriptCode script = uscript_getScript(static_cast<UChar32>(c), &status);
        if (U_FAILURE(status) || script == USCRIPT_COMMON || script == USCRIPT_INHERITED) continue;
        if (script == USCRIPT_HIRAGANA || script == USCRIPT_KATAKANA) {
            ++kana;
            script = USCRIPT_HAN;
        }
        ++letters[script];
    }
    const std::pair<const UScriptCode, size_t>* best = nullptr;
    for (const auto& entry : letters)
        if (!best || entry.second > best->second) best = &entry;
    if (!best) return std::nullopt;
    if (best->first == USCRIPT_HAN) return kana > 0 ? "ja" : "zh";
    std::string code = languageOfScript(best->first);
    if (code.empty()) return std::nullopt;
    return code;
}

}  // namespace DovuzudUza
