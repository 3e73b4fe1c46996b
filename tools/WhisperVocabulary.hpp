#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace parlox::tools {

// Tokenizer files in the shape of a multilingual Whisper vocabulary: the
// 256 byte-level symbols in the usual order (so "Ġ" is 220), a few merges,
// and the control, language and time tokens as added tokens. Random test
// checkpoints carry them, so a converted one loads without the hub.
struct WhisperVocabulary {
    // Id of "<|endoftext|>"; the other control tokens follow it.
    int64_t endOfText = 50257;
    // How many language codes (table order) get a token; 99 as in the
    // multilingual vocabularies that precede "yue".
    size_t languageCount = 99;
    // The no-speech token's text in this vocabulary (older ones call it
    // "<|nocaptions|>"); empty: none.
    std::string noSpeechText = "<|nocaptions|>";
    // Time tokens from <|0.00|> in steps of 0.02 s.
    int timeTokenCount = 1501;
    // Optional unknown token named in tokenizer_config.json.
    std::optional<std::string> unknownToken;
    // Where the language tokens start when not right after the start token.
    std::optional<int64_t> languageStart;

    // The layout whose last time token is the model's last id; none when
    // the vocabulary is too small to hold the control tokens.
    static std::optional<WhisperVocabulary> forModel(int64_t vocabularySize);

    int64_t languageId(size_t index) const {
        return (languageStart ? *languageStart : endOfText + 2) + static_cast<int64_t>(index);
    }
    int64_t translateId() const { return endOfText + 2 + static_cast<int64_t>(languageCount); }
    int64_t timeBegin() const { return translateId() + 6; }

    nlohmann::ordered_json tokenizerJson() const;
    nlohmann::ordered_json tokenizerConfigJson() const;
    // "tokenizer.json" and "tokenizer_config.json" in the folder.
    void write(const std::filesystem::path& folder) const;

    // The language codes in token order.
    static std::vector<std::pair<std::string, std::string>> languageRows();
};

}  // namespace parlox::tools
