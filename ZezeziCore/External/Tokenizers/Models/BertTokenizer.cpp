#include "ZezeziCore/External/Tokenizers/Models/BertTokenizer.hpp"

#include "ZezeziCore/External/Tokenizers/ByteEncoder.hpp"
#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"
#include "platform/foundation/Utf8.hpp"

namespace Tokenizers {

namespace {

bool isAsciiSymbol(char32_t c) {
    return (c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) || (c >= 123 && c <= 126);
}

// Removes combining marks and folds precomposed letters to their base.
std::string foldDiacritics(std::string_view s) { return text::nfc(text::withoutNonSpacingMarks(text::nfd(s))); }

}  // namespace

const std::vector<std::string>& BasicTokenizer::neverSplit() {
    static const std::vector<std::string> list{"[UNK]", "[SEP]", "[PAD]", "[CLS]", "[MASK]"};
    return list;
}

std::vector<std::string> BasicTokenizer::tokenize(std::string_view input) const {
    std::string text = doLowerCase_ ? foldDiacritics(input) : std::string(input);
    std::vector<std::string> out;
    // Components at Zs and tab; line breaks do not separate.
    std::vector<std::string_view> components;
    {
        std::string_view t = text;
        std::size_t start = 0;
        for (std::size_t i = 0; i < t.size();) {
            std::size_t at = i;
            char32_t c = platform::decodeUtf8(t, i);
            if (text::isSpaceSeparatorOrTab(c)) {
                components.push_back(t.substr(start, at - start));
                start = i;
            }
        }
        components.push_back(t.substr(start));
    }
    for (std::string_view component : components) {
        if (component.empty()) continue;
        bool protectedMarker = false;
        for (const auto& marker : neverSplit())
            if (component == marker) protectedMarker = true;
        if (protectedMarker) {
            out.emplace_back(component);
            continue;
        }
        std::string word = doLowerCase_ ? text::lowercased(component) : std::string(component);
        std::string current;
        for (std::string_view ch : text::characters(word)) {
            char32_t first = text::firstScalar(ch);
            if (text::isPunctuation(first) || isAsciiSymbol(first)) {
                if (!current.empty()) out.push_back(std::move(current));
                current.clear();
                out.emplace_back(ch);
            } else {
                current.append(ch);
            }
        }
        if (!current.empty()) out.push_back(std::move(current));
    }
    return out;
}

std::vector<std::string> WordpieceTokenizer::tokenize(std::string_view word) const {
    auto chars = text::characters(word);
    if (chars.size() > maxInputCharsPerWord) return {unkToken};
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < chars.size()) {
        bool found = false;
        for (std::size_t end = chars.size(); end > start; --end) {
            std::size_t a = static_cast<std::size_t>(chars[start].data() - word.data());
            std::size_t b = static_cast<std::size_t>(chars[end - 1].data() - word.data()) + chars[end - 1].size();
            std::string candidate = start > 0 ? "##" : "";
            candidate.append(word.substr(a, b - a));
            if (vocab_->count(text::nfc(candidate))) {
                pieces.push_back(std::move(candidate));
                start = end;
                found = true;
                break;
            }
        }
        if (!found) return {unkToken};
    }
    return pieces;
}

BertTokenizer::BertTokenizer(const Config& tokenizerConfig, const Config& tokenizerData, const AddedTokenIds& addedTokens)
    : vocab_(std::make_shared<std::unordered_map<std::string, int64_t>>()),
      basicTokenizer_(tokenizerConfig["doLowerCase"].boolean().value_or(true)) {
    auto vocab = tokenizerData["model"]["vocab"].dictionary();
    if (!vocab) throw TokenizerError::missingVocab();
    for (const auto& [key, value] : *vocab)
        if (auto id = value.integer()) vocab_->insert_or_assign(text::nfc(key.string()), *id);
    tokenizeChineseChars_ = tokenizerConfig["handleChineseChars"].boolean().value_or(true);
    eosToken_ = tokenizerConfig["eosToken"].string();
    bosToken_ = tokenizerConfig["bosToken"].string();
    fuseUnknownTokens_ = tokenizerConfig["fuseUnk"].boolean().value_or(false);
    if (auto added = tokenizerData["addedTokens"].array()) {
        for (const Config& entry : *added) {
            auto id = entry["id"].integer();
            auto content = entry["content"].string();
            if (id && content) vocab_->insert_or_assign(text::nfc(*content), *id);
        }
    }
    for (const auto& [content, id] : addedTokens) vocab_->insert_or_assign(text::nfc(content), id);
    for (const auto& [token, id] : *vocab_) {
        auto [it, inserted] = idsToTokens_.try_emplace(id, token);
        if (!inserted && token < it->second) it->second = token;
    }
    wordpieceTokenizer_ = std::make_unique<WordpieceTokenizer>(vocab_);
    auto lookup = [this](const std::optional<std::string>& t) -> std::optional<int64_t> {
        if (!t) return std::nullopt;
        auto it = vocab_->find(text::nfc(*t));
        if (it == vocab_->end()) return std::nullopt;
        return it->second;
    };
    bosTokenId_ = lookup(bosToken_);
    eosTokenId_ = lookup(eosToken_);
}

std::string BertTokenizer::tokenizeChineseCharsIfNeed(std::string_view text) const {
    if (!tokenizeChineseChars_) return std::string(text);
    return text::spacedCjkIdeographs(text);
}

std::vector<std::string> BertTokenizer::tokenize(std::string_view text) const {
    std::vector<std::string> out;
    for (const auto& word : basicTokenizer_.tokenize(tokenizeChineseCharsIfNeed(text)))
        for (auto& piece : wordpieceTokenizer_->tokenize(word)) out.push_back(std::move(piece));
    return out;
}

std::optional<int64_t> BertTokenizer::convertTokenToId(std::string_view token) const {
    auto it = vocab_->find(text::nfc(token));
    if (it != vocab_->end()) return it->second;
    return unknownTokenId();
}

std::optional<int64_t> BertTokenizer::unknownTokenId() const {
    auto it = vocab_->find(WordpieceTokenizer::unkToken);
    if (it == vocab_->end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> BertTokenizer::convertIdToToken(int64_t id) const {
    auto it = idsToTokens_.find(id);
    if (it == idsToTokens_.end()) return std::nullopt;
    return it->second;
}

}  // namespace Tokenizers
