#include "ZezeziCore/External/Tokenizers/Tokenizer.hpp"

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
