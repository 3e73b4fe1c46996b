#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ZezeziCore/External/Tokenizers/Tokenizer.hpp"

namespace Tokenizers {

// A trie over characters (extended grapheme clusters, compared by their exact
// bytes).
class Trie {
public:
    struct Node {
        bool isLeaf = false;
        std::unordered_map<std::string, std::unique_ptr<Node>> children;
    };
    void insert(const std::vector<std::string_view>& sequence);
    // Every prefix of `text` (characters from `from` on) that is a complete
    // entry, shortest first, as character counts.
    std::vector<std::size_t> commonPrefixLengths(const std::vector<std::string_view>& text, std::size_t from) const;

private:
    Node root_;
};

// The candidate pieces of one text and the best cut through them.
class TokenLattice {
public:
    struct Node {
        int64_t tokenId;
        std::size_t startOffset;  // characters
        std::size_t length;       // characters
        float score;
        int32_t prev = -1;        // index into nodes
        float backtraceScore = 0;
        int32_t nextSameBegin = -1;
        int32_t nextSameEnd = -1;
    };

    TokenLattice(std::vector<std::string_view> characters, int64_t bosTokenId, int64_t eosTokenId);
    void insert(std::size_t startOffset, std::size_t length, float score, int64_t tokenId);
    // The best path, without the begin and end nodes.
    std::vector<Node> viterbi();
    std::vector<std::string> tokens();

private:
    struct List {
        int32_t head = -1;
        int32_t tail = -1;
    };
    void append(std::vector<List>& lists, std::size_t offset, int32_t node, int32_t Node::*next);

    std::vector<std::string_view> characters_;
    std::vector<Node> nodes_;
    // Per offset, the nodes that begin (end) there, in insertion order, as
    // lists threaded through the nodes: one allocation for any text length.
    std::vector<List> beginNodes_;
    std::vector<List> endNodes_;
};

// Unigram model: pieces scored by log-probability; the best-scoring cut wins.
class UnigramTokenizer : public TokenizingModel {
public:
    struct SentencePieceToken {
        std::string token;
        float score;
    };

    // Throws TokenizerError: missingVocab, or malformedVocab for a bad piece,
    // a repeated piece, or an unk_id that is missing or outside the vocabulary.
    UnigramTokenizer(const Config& tokenizerConfig, const Config& tokenizerData, const AddedTokenIds& addedTokens);

    std::vector<std::string> tokenize(std::string_view text) const override;
    std::optional<int64_t> convertTokenToId(std::string_view token) const override;
    std::optional<std::string> convertIdToToken(int64_t id) const override;
    std::optional<std::string> bosToken() const override { return std::string(" "); }
    std::optional<int64_t> bosTokenId() const override { return bosTokenId_; }
    std::optional<std::string> eosToken() const override { return eosToken_; }
    std::optional<int64_t> eosTokenId() const override { return eosTokenId_; }
    std::optional<std::string> unknownToken() const override { return unknownPiece_.token; }
    std::optional<int64_t> unknownTokenId() const override { return unknownTokenId_; }
    bool fuseUnknownTokens() const override { return true; }

    float minScore() const { return minScore_; }
    const SentencePieceToken& unknownPiece() const { return unknownPiece_; }

private:
    std::vector<SentencePieceToken> vocab_;
    SentencePieceToken unknownPiece_;
    int64_t unknownTokenId_ = 0;
    float minScore_ = 999.0f;
    std::unordered_map<std::string, int64_t> tokensToIds_;
    std::optional<int64_t> bosTokenId_;
    std::optional<std::string> eosToken_;
    std::optional<int64_t> eosTokenId_;
    Trie trie_;
};

// The Unigram model under the class name the model table uses.
class T5Tokenizer : public UnigramTokenizer {
public:
    using UnigramTokenizer::UnigramTokenizer;
};

}  // namespace Tokenizers
