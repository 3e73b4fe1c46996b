#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "DovuzudUza/Core/SpecialTokens.hpp"

namespace DovuzudUza {

// Words of a token sequence: the i-th word is the text of the i-th id list.
struct WordTokens {
    std::vector<std::string> words;
    std::vector<std::vector<int64_t>> wordTokens;

    bool operator==(const WordTokens&) const = default;
};

// The tokenizer the engine's stages hold. Safe to use from several threads.
class WhisperTokenizer {
public:
    virtual ~WhisperTokenizer() = default;

    virtual std::vector<int64_t> encode(const std::string& text) const = 0;
    virtual std::string decode(const std::vector<int64_t>& tokens) const = 0;
    virtual std::optional<int64_t> convertTokenToId(const std::string& token) const = 0;
    virtual std::optional<std::string> convertIdToToken(int64_t id) const = 0;
    virtual const SpecialTokens& specialTokens() const = 0;
    virtual const std::set<int64_t>& allLanguageTokens() const = 0;
    virtual WordTokens splitToWordTokens(const std::vector<int64_t>& tokenIds) const = 0;
};

}  // namespace DovuzudUza
