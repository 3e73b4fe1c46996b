#include "DovuzudUza/Core/WhisperTokenizerWrapper.hpp"

#include <unicode/uchar.h>

#include "DovuzudUza/Core/Constants.hpp"
#include "platform/foundation/Unicode.hpp"

namespace DovuzudUza {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool isSpaceSeparatorOrTab(char32_t c) { return c == U'\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR; }

// The text with leading and trailing space separators and tabs removed is
// one scalar of a punctuation category.
bool isSinglePunctuation(const std::string& text) {
    std::u32string scalars = platform::toUtf32(text);
    size_t begin = 0;
    size_t end = scalars.size();
    while (begin < end && isSpaceSeparatorOrTab(scalars[begin])) ++begin;
    while (end > begin && isSpaceSeparatorOrTab(scalars[end - 1])) --end;
    return end - begin == 1 && u_ispunct(static_cast<UChar32>(scalars[begin]));
}

std::string languagePart(const std::string& identifier) {
    return identifier.substr(0, identifier.find_first_of("-_"));
}

}  // namespace

WhisperTokenizerWrapper::WhisperTokenizerWrapper(Tokenizers::TokenizerWrapper tokenizer,
                                                 std::optional<std::filesystem::path> at,
                                                 std::shared_ptr<const LanguageRecognizer> recognizer)
    : tokenizer_(std::move(tokenizer)),
      tokenizerFolder_(std::move(at)),
      recognizer_(recognizer ? std::move(recognizer) : std::make_shared<ScriptLanguageRecognizer>()) {
    auto id = [&](const char* text, int64_t fallback) { return exactId(text).value_or(fallback); };
    specialTokens_.endToken = id("<|endoftext|>", 50257);
    specialTokens_.englishToken = id("<|en|>", 50259);
    specialTokens_.noSpeechToken = id("<|nospeech|>", 50362);
    specialTokens_.noTimestampsToken = id("<|notimestamps|>", 50363);
    specialTokens_.specialTokenBegin = id("<|endoftext|>", 50257);
    specialTokens_.startOfPreviousToken = id("<|startofprev|>", 50361);
    specialTokens_.startOfTranscriptToken = id("<|startoftranscript|>", 50258);
    specialTokens_.timeTokenBegin = id("<|0.00|>", 50364);
    specialTokens_.transcribeToken = id("<|transcribe|>", 50359);
    specialTokens_.translateToken = id("<|translate|>", 50358);
    specialTokens_.whitespaceToken = id(" ", 220);

    for (const auto& [name, code] : Constants::languages()) {
        auto languageId = exactId("<|" + code + "|>");
        if (languageId && *languageId > specialTokens_.specialTokenBegin) allLanguageTokens_.insert(*languageId);
    }
}

std::optional<int64_t> WhisperTokenizerWrapper::exactId(const std::string& text) const {
    auto found = tokenizer_.convertTokenToId(text);
    if (!found) return std::nullopt;
    auto back = tokenizer_.convertIdToToken(*found);
    if (!back || *back != text) return std::nullopt;
    return found;
}

std::vector<int64_t> WhisperTokenizerWrapper::encode(const std::string& text) const { return tokenizer_.encode(text); }

std::string WhisperTokenizerWrapper::decode(const std::vector<int64_t>& tokens) const {
    return tokenizer_.decode(tokens);
}

std::optional<int64_t> WhisperTokenizerWrapper::convertTokenToId(const std::string& token) const {
    return tokenizer_.convertTokenToId(token);
}

std::optional<std::string> WhisperTokenizerWrapper::convertIdToToken(int64_t id) const {
    return tokenizer_.convertIdToToken(id);
}

WordTokens WhisperTokenizerWrapper::splitToWordTokens(const std::vector<int64_t>& tokenIds) const {
    std::vector<int64_t> textTokens;
    for (int64_t id : tokenIds)
        if (id < specialTokens_.specialTokenBegin) textTokens.push_back(id);
    auto language = recognizer_->dominantLanguage(decode(textTokens));
    std::string code = language ? languagePart(*language) : std::string();
    static const std::set<std::string> withoutSpaces{"zh", "ja", "th", "lo", "my", "yue"};
    if (withoutSpaces.count(code)) return splitTokensOnUnicode(tokenIds);
    return splitTokensOnSpaces(tokenIds);
}

WordTokens WhisperTokenizerWrapper::splitTokensOnUnicode(const std::vector<int64_t>& tokens) const {
    const std::vector<std::string> full = platform::graphemeClusters(decode(tokens));
    WordTokens result;
    std::vector<int64_t> current;
    size_t emitted = 0;
    for (int64_t id : tokens) {
        current.push_back(id);
        std::string partial = decode(current);
        std::vector<std::string> characters = platform::graphemeClusters(partial);
        size_t replacement = 0;
        while (replacement < characters.size() && characters[replacement] != kReplacement) ++replacement;
        bool closes = replacement == characters.size();
        if (!closes) {
            // A replacement character that the full text also holds there is
            // real text, not half of a character cut between tokens. A
            // position past the full text holds none.
            size_t position = emitted + replacement;
            closes = position < full.size() && full[position] == kReplacement;
        }
        if (closes) {
            result.words.push_back(std::move(partial));
            result.wordTokens.push_back(std::move(current));
            emitted += characters.size();
            current.clear();
        }
    }
    return result;
}

WordTokens WhisperTokenizerWrapper::splitTokensOnSpaces(const std::vector<int64_t>& tokens) const {
    WordTokens pieces = splitTokensOnUnicode(tokens);
    WordTokens result;
    for (size_t i = 0; i < pieces.words.size(); ++i) {
        const std::string& text = pieces.words[i];
        const std::vector<int64_t>& ids = pieces.wordTokens[i];
        bool special = !ids.empty() && ids.front() >= specialTokens_.specialTokenBegin;
        bool withSpace = !text.empty() && text.front() == ' ';
        if (special || withSpace || isSinglePunctuation(text) || result.words.empty()) {
            result.words.push_back(text);
            result.wordTokens.push_back(ids);
        } else {
            result.words.back() += text;
            auto& last = result.wordTokens.back();
            last.insert(last.end(), ids.begin(), ids.end());
        }
    }
    return result;
}

}  // namespace DovuzudUza
