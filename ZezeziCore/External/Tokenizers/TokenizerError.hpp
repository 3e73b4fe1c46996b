#pragma once

#include <string>

#include "platform/foundation/Error.hpp"

namespace Tokenizers {

class TokenizerError : public platform::Error {
public:
    enum class Kind {
        unsupportedTokenizer,
        tooLong,
        mismatchedConfig,
        missingConfig,
        missingTokenizerClassInConfig,
        missingVocab,
        malformedVocab,
    };

    explicit TokenizerError(Kind kind, std::string payload = {}) : kind_(kind), payload_(std::move(payload)) {}

    static TokenizerError unsupportedTokenizer(std::string name) { return TokenizerError(Kind::unsupportedTokenizer, std::move(name)); }
    static TokenizerError tooLong(std::string what) { return TokenizerError(Kind::tooLong, std::move(what)); }
    static TokenizerError mismatchedConfig(std::string what) { return TokenizerError(Kind::mismatchedConfig, std::move(what)); }
    static TokenizerError missingConfig() { return TokenizerError(Kind::missingConfig); }
    static TokenizerError missingTokenizerClassInConfig() { return TokenizerError(Kind::missingTokenizerClassInConfig); }
    static TokenizerError missingVocab() { return TokenizerError(Kind::missingVocab); }
    static TokenizerError malformedVocab() { return TokenizerError(Kind::malformedVocab); }

    Kind kind() const { return kind_; }
    const std::string& payload() const { return payload_; }

    std::string description() const override;

private:
    Kind kind_;
    std::string payload_;
};

}  // namespace Tokenizers
