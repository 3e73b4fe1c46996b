#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "ZezeziCore/External/Tokenizers/Normalizers/Normalizers.hpp"
#include "ZezeziCore/External/Tokenizers/Regex.hpp"
#include "ZezeziCore/External/Tokenizers/Tokenizer.hpp"

namespace Tokenizers {

// Token texts in, text pieces out; their concatenation is the decoded text.
class Decoder {
public:
    virtual ~Decoder() = default;
    virtual std::vector<std::string> decode(const std::vector<std::string>& tokens) const = 0;
    std::vector<std::string> operator()(const std::vector<std::string>& tokens) const { return decode(tokens); }
};

namespace DecoderFactory {
// None for a config that is not an object or whose `type` is not a text.
// Throws TokenizerError.mismatchedConfig on a configuration error.
std::shared_ptr<const Decoder> fromConfig(const Config& config,
                                          const std::optional<std::unordered_set<std::string>>& addedTokens = std::nullopt);
}  // namespace DecoderFactory

class DecoderSequence : public Decoder {
public:
    explicit DecoderSequence(const Config& config);
    std::vector<std::string> decode(const std::vector<std::string>& tokens) const override;

private:
    std::vector<std::shared_ptr<const Decoder>> decoders_;
};

class WordPieceDecoder : public Decoder {
public:
    explicit WordPieceDecoder(const Config& config);
    std::vector<std::string> decode(const std::vector<std::string>& tokens) const override;

private:
    std::string cleaned(std::string piece) const;
    std::string prefix_;
    bool cleanup_;
    Regex re_;
};

// Undoes the byte alphabet; added tokens pass through untouched.
class ByteLevelDecoder : public Decoder {
public:
    ByteLevelDecoder(std::unordered_set<std::string> addedTokens) : addedTokens_(std::move(addedTokens)) {}
    std::vector<std::string> decode(const std::vector<std::string>& tokens) const override;

private:
    std::unordered_set<std::string> addedTokens_;
};

class ReplaceDecoder : public Decoder {
public:
    explicit ReplaceDecoder(const Config& config) : pattern_(StringReplacePattern::from(config)) {}
    std::vector<std::string> decode(const std::vector<std::string>& tokens) const override;

private:
    std::optional<StringReplacePattern> pattern_;
};

class ByteFallbackDecoder : public Decoder {
public:
    std::vector<std::string> decode(const std::vector<std::string>& tokens) const override;
};

class FuseDecoder : public Decoder {
public:
    std::vector<std::string> decode(const std::vector<std::string>& tokens) const override;
};

class StripDecoder : public Decoder {
public:
    explicit StripDecoder(const Config& config);
    std::vector<std::string> decode(const std::vector<std::string>& tokens) const override;

private:
    std::string content_;
    int64_t start_;
    int64_t stop_;
};

class MetaspaceDecoder : public Decoder {
public:
    explicit MetaspaceDecoder(const Config& config)
        : addPrefixSpace_(config["addPrefixSpace"].boolean().value_or(false)),
          replacement_(config["replacement"].string().value_or("_")) {}
    std::vector<std::string> decode(const std::vector<std::string>& tokens) const override;

private:
    bool addPrefixSpace_;
    std::string replacement_;
};

}  // namespace Tokenizers
