#include "ZezeziCore/External/Tokenizers/Models/UnigramTokenizer.hpp"

#include <algorithm>

#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

namespace Tokenizers {

void Trie::insert(const std::vector<std::string_view>& sequence) {
    Node* node = &root_;
    for (std::string_view element : sequence) {
        auto& child = node->children[std::string(element)];
        if (!child) child = std::make_unique<Node>();
        node = child.get();
    }
    node->isLeaf = true;
}

std::vector<std::size_t> Trie::commonPrefixLengths(const std::vector<std::string_view>& text, std::size_t from) const {
    std::vector<std::size_t> out;
    const Node* node = &root_;
    std::string key;
    for (std::size_t i = from; i < text.size(); ++i) {
        key.assign(text[i]);
        auto it = node->children.find(key);
        if (it == node->children.end()) break;
        node = it->second.get();
        if (node->isLeaf) out.push_back(i - from + 1);
    }
    return out;
}

TokenLattice::TokenLattice(std::vector<std::string_view> characters, int64_t bosTokenId, int64_t eosTokenId)
    : characters_(std::move(characters)) {
    const std::size_t n = characters_.size();
    beginNodes_.resize(n + 1);
    endNodes_.resize(n + 1);
    nodes_.reserve(2 * n + 2);
    nodes_.push_back(Node{bosTokenId, 0, 0, 0.0f});
    nodes_.push_back(Node{eosTokenId, n, 0, 0.0f});
    append(beginNodes_, n, 1, &Node::nextSameBegin);
    append(endNodes_, 0, 0, &Node::nextSameEnd);
}

void TokenLattice::append(std::vector<List>& lists, std::size_t offset, int32_t node, int32_t Node::*next) {
    List& list = lists[offset];
    if (list.tail < 0)
        list.head = node;
    else
        nodes_[list.tail].*next = node;
    list.tail = node;
}

void TokenLattice::insert(std::size_t startOffset, std::size_t length, float score, int64_t tokenId) {
    auto index = static_cast<int32_t>(nodes_.size());
    nodes_.push_back(Node{tokenId, startOffset, length, score});
    append(beginNodes_, startOffset, index, &Node::nextSameBegin);
    append(endNodes_, startOffset + length, index, &Node::nextSameEnd);
}

std::vector<TokenLattice::Node> TokenLattice::viterbi() {
    const std::size_t n = characters_.size();
    for (std::size_t k = 0; k <= n; ++k) {
        if (beginNodes_[k].head < 0) return {};
        for (int32_t r = beginNodes_[k].head; r >= 0; r = nodes_[r].nextSameBegin) {
            nodes_[r].prev = -1;
            int32_t best = -1;
            float bestScore = 0;
            for (int32_t l = endNodes_[k].head; l >= 0; l = nodes_[l].nextSameEnd) {
                float score = nodes_[l].backtraceScore + nodes_[r].score;
                if (best < 0 || score > bestScore) {
                    best = l;
                    bestScore = score;
                }
            }
            if (best >= 0) {
                nodes_[r].prev = best;
                nodes_[r].backtraceScore = bestScore;
            }
        }
    }
    const Node& eos = nodes_[beginNodes_[n].head];
    if (eos.prev < 0) return {};
    std::vector<Node> path;
    for (int32_t i = eos.prev; i >= 0 && nodes_[i].prev >= 0; i = nodes_[i].prev) path.push_back(nodes_[i]);
    std::reverse(path.begin(), path.end());
    return path;
}

std::vector<std::string> TokenLattice::tokens() {
    std::vector<std::string> out;
    for (const Node& node : viterbi()) {
        std::string piece;
        for (std::size_t i = node.startOffset; i < node.startOffset + node.length; ++i) piece.append(characters_[i]);
        out.push_back(std::move(piece));
    }
    return out;
}

UnigramTokenizer::UnigramTokenizer(const Config& tokenizerConfig, const Config& tokenizerData, const AddedTokenIds&) {
    Config model = tokenizerData["model"];
    auto vocab = model["vocab"].array();
    if (!vocab) throw TokenizerError::missingVocab();
    vocab_.reserve(vocab->size());
    for (const Config& element : *vocab) {
        auto entry = element.array();
        if (!entry || entry->empty()) throw TokenizerError::malformedVocab();
        auto token = entry->front().string();
        auto score = entry->back().floating();  // an integer reads as a float
        if (!token || !score) throw TokenizerError::malformedVocab();
        vocab_.push_back(SentencePieceToken{std::move(*token), *score});
    }
    for (const auto& piece : vocab_) minScore_ = std::min(minScore_, piece.score);
    auto unkId = model["unkId"].integer();
    if (!unkId || *unkId < 0 || *unkId >= static_cast<int64_t>(vocab_.size())) throw TokenizerError::malformedVocab();
    unknownTokenId_ = *unkId;
    unknownPiece_ = SentencePieceToken{vocab_[static_cast<std::size_t>(*unkId)].token, minScore_ - 10.0f};
    tokensToIds_.reserve(vocab_.size());
    for (std::size_t i = 0; i < vocab_.size(); ++i)
        if (!tokensToIds_.emplace(vocab_[i].token, static_cast<int64_t>(i)).second) throw TokenizerError::malformedVocab();
    if (auto it = tokensToIds_.find(" "); it != tokensToIds_.end()) bosTokenId_ = it->second;
    eosToken_ = tokenizerConfig["eosToken"].string();
    if (eosToken_)
        if (auto it = tokensToIds_.find(*eosToken_); it != tokensToIds_.end()) eosTokenId_ = it->second;
    for (const auto& piece : vocab_) trie_.insert(text::characters(piece.token));
}

std::vector<std::string> UnigramTokenizer::tokenize(std::string_view text) const {
    auto chars = text::characters(text);
    TokenLattice lattice(chars, bosTokenId_.value_or(0), eosTokenId_.value_or(0));
    std::string piece;
    for (std::size_t p = 0; p < chars.size(); ++p) {
        bool singleCharacter = false;
        for (std::size_t length : trie_.commonPrefixLengths(chars, p)) {
            piece.clear();
            for (std::size_t i = p; i < p + length; ++i) piece.append(chars[i]);
            auto it = tokensToIds_.find(piece);
            if (it == tokensToIds_.end()) continue;
            lattice.insert(p, length, vocab_[static_cast<std::size_t>(it->second)].score, it->second);
            if (length == 1) singleCharacter = true;
        }
        if (!singleCharacter) lattice.insert(p, 1, unknownPiece_.score, unknownTokenId_);
    }
    return lattice.tokens();
}

std::optional<int64_t> UnigramTokenizer::convertTokenToId(std::string_view token) const {
    auto it = tokensToIds_.find(std::string(token));
    if (it != tokensToIds_.end()) return it->second;
    return unknownTokenId_;
}

std::optional<std::string> UnigramTokenizer::convertIdToToken(int64_t id) const {
    if (id < 0 || id >= static_cast<int64_t>(vocab_.size())) return std::nullopt;
    return vocab_[static_cast<std::size_t>(id)].token;
}

}  // namespace Tokenizers
