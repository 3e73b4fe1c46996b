#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace DovuzudUza {

// Tells the dominant language of a text as a language code ("zh", "ja").
class LanguageRecognizer {
public:
    virtual ~LanguageRecognizer() = default;
    // Nothing when the text gives no clear answer.
    virtual std::optional<std::string> dominantLanguage(std::string_view text) const = 0;
};

// Counts the letters of each script and names the language of the script
// that dominates, where a script belongs to one language (Han: "zh", kana:
// "ja", Thai, Lao, Myanmar, Hangul, Greek, ...). Scripts shared by many
// languages (Latin, Cyrillic, Arabic, Devanagari) give no answer. Word
// splitting only needs to tell the languages written without spaces.
class ScriptLanguageRecognizer : public LanguageRecognizer {
public:
    std::optional<std::string> dominantLanguage(std::string_view text) const override;
};

}  // namespace DovuzudUza
