#include "DovuzudUza/Core/Constants.hpp"

#include <array>
#include <utility>

namespace DovuzudUza::Constants {

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 112> kLanguageRows{{
    {"english", "en"}, {"chinese", "zh"}, {"german", "de"}, {"spanish", "es"},
    {"russian", "ru"}, {"korean", "ko"}, {"french", "fr"}, {"japanese", "ja"},
    {"portuguese", "pt"}, {"turkish", "tr"}, {"polish", "pl"}, {"catalan", "ca"},
    {"dutch", "nl"}, {"arabic", "ar"}, {"swedish", "sv"}, {"italian", "it"},
    {"indonesian", "id"}, {"hindi", "hi"}, {"finnish", "fi"}, {"vietnamese", "vi"},
    {"hebrew", "he"}, {"ukrainian", "uk"}, {"greek", "el"}, {"malay", "ms"},
    {"czech", "cs"}, {"romanian", "ro"}, {"danish", "da"}, {"hungarian", "hu"},
    {"tamil", "ta"}, {"norwegian", "no"}, {"thai", "th"}, {"urdu", "ur"},
    {"croatian", "hr"}, {"bulgarian", "bg"}, {"lithuanian", "lt"}, {"latin", "la"},
    {"maori", "mi"}, {"malayalam", "ml"}, {"welsh", "cy"}, {"slovak", "sk"},
    {"telugu", "te"}, {"persian", "fa"}, {"latvian", "lv"}, {"bengali", "bn"},
    {"serbian", "sr"}, {"azerbaijani", "az"}, {"slovenian", "sl"}, {"kannada", "kn"},
    {"estonian", "et"}, {"macedonian", "mk"}, {"breton", "br"}, {"basque", "eu"},
    {"icelandic", "is"}, {"armenian", "hy"}, {"nepali", "ne"}, {"mongolian", "mn"},
    {"bosnian", "bs"}, {"kazakh", "kk"}, {"albanian", "sq"}, {"swahili", "sw"},
    {"galician", "gl"}, {"marathi", "mr"}, {"punjabi", "pa"}, {"sinhala", "si"},
    {"khmer", "km"}, {"shona", "sn"}, {"yoruba", "yo"}, {"somali", "so"},
    {"afrikaans", "af"}, {"occitan", "oc"}, {"georgian", "ka"}, {"belarusian", "be"},
    {"tajik", "tg"}, {"sindhi", "sd"}, {"gujarati", "gu"}, {"amharic", "am"},
    {"yiddish", "yi"}, {"lao", "lo"}, {"uzbek", "uz"}, {"faroese", "fo"},
    {"haitian creole", "ht"}, {"pashto", "ps"}, {"turkmen", "tk"}, {"nynorsk", "nn"},
    {"maltese", "mt"}, {"sanskrit", "sa"}, {"luxembourgish", "lb"}, {"myanmar", "my"},
    {"tibetan", "bo"}, {"tagalog", "tl"}, {"malagasy", "mg"}, {"assamese", "as"},
    {"tatar", "tt"}, {"hawaiian", "haw"}, {"lingala", "ln"}, {"hausa", "ha"},
    {"bashkir", "ba"}, {"javanese", "jw"}, {"sundanese", "su"}, {"cantonese", "yue"},
    // Alternative names of languages above.
    {"burmese", "my"}, {"valencian", "ca"}, {"flemish", "nl"}, {"haitian", "ht"},
    {"letzeburgesch", "lb"}, {"pushto", "ps"}, {"panjabi", "pa"}, {"moldavian", "ro"},
    {"moldovan", "ro"}, {"sinhalese", "si"}, {"castilian", "es"}, {"mandarin", "zh"},
}};

}  // namespace

const std::map<std::string, std::string>& languages() {
    static const std::map<std::string, std::string> table = [] {
        std::map<std::string, std::string> m;
        for (const auto& [name, code] : kLanguageRows) m.emplace(name, code);
        return m;
    }();
    return table;
}

const std::set<std::string>& languageCodes() {
    static const std::set<std::string> codes = [] {
        std::set<std::string> s;
        for (const auto& [name, code] : languages()) s.insert(code);
        return s;
    }();
    return codes;
}

const std::set<char>& specialTokenCharacters() {
    static const std::set<char> chars{'<', '|', '>'};
    return chars;
}

std::string trimmingSpecialTokenCharacters(std::string_view text) {
    const auto& chars = specialTokenCharacters();
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && chars.count(text[begin])) ++begin;
    while (end > begin && chars.count(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

}  // namespace DovuzudUza::Constants
