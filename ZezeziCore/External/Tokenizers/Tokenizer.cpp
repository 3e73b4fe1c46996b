#include "ZezeziCore/External/Tokenizers/Tokenizer.hpp"

#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

namespace Tokenizers {

std::vector<std::optional<int64_t>> TokenVocabulary::convertTokensToIds(const std::vector<std::string>& tokens) const {
    std::vector<std::optional<int64_t>> out;
    out.reserve(tokens.size());
    for (const auto& t : tokens) out.push_back(convertTokenToId(t));
    return out;
}

std::vector<std::optional<std::string>> TokenVocabulary::convertIdsToTokens(const std::vector<int64_t>& ids) const {
    std::vector<std::optional<std::string>> out;
    out.reserve(ids.size());
    for (int64_t id : ids) out.push_back(convertIdToToken(id));
    return out;
}

void TokenizingModel::appendIds(std::string_view text, std::vector<int64_t>& ids) const {
    for (const auto& token : tokenize(text)) ids.push_back(requireId(*this, token));
}

int64_t requireId(const TokenVocabulary& vocabulary, std::string_view token) {
    auto id = vocabulary.convertTokenToId(token);
    // Dropping it would silently change what the model reads.
    if (!id) throw TokenizerError::mismatchedConfig("Token not in vocab: " + std::string(token));
    return *id;
}

std::optional<std::string> unknownTokenFrom(const Config& tokenizerConfig) {
    Config unk = tokenizerConfig["unkToken"];
    if (auto content = unk["content"].string()) return content;
    return unk.string();
}

std::optional<std::string> addedTokenAsString(const Config& entry) {
    if (auto s = entry.string()) return s;
    return entry["content"].string();
}

}  // namespace Tokenizers
