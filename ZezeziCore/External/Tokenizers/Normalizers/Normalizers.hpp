#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ZezeziCore/External/Tokenizers/Regex.hpp"
#include "ZezeziCore/External/Tokenizers/Tokenizer.hpp"

namespace Tokenizers {

// A plain or regular-expression replacement read from `content` and
// `pattern` (`String` or `Regex`); shared by the replace normalizer and the
// replace decoder.
class StringReplacePattern {
public:
    // None without a text `content` or without a pattern. Throws
    // TokenizerError.mismatchedConfig("Cannot build regexp from " + pattern).
    static std::optional<StringReplacePattern> from(const Config& config);
    std::string apply(std::string_view text) const;

private:
    std::optional<Regex> regex_;
    std::string pattern_;
    std::string replacement_;
};

class Normalizer {
public:
    virtual ~Normalizer() = default;
    virtual std::string normalize(std::string_view text) const = 0;
    std::string operator()(std::string_view text) const { return normalize(text); }
};

namespace NormalizerFactory {
// None for a config that is not an object or whose `type` is not a text.
// Throws TokenizerError.mismatchedConfig for an unknown keyword, a Sequence
// without a list, or a replace pattern that does not compile.
std::shared_ptr<const Normalizer> fromConfig(const Config& config);
}  // namespace NormalizerFactory

class NormalizerSequence : public Normalizer {
public:
    explicit NormalizerSequence(const Config& config);
    std::string normalize(std::string_view text) const override;

private:
    std::vector<std::shared_ptr<const Normalizer>> normalizers_;
};

class PrependNormalizer : public Normalizer {
public:
    explicit PrependNormalizer(const Config& config) : prepend_(config["prepend"].string().value_or("")) {}
    std::string normalize(std::string_view text) const override { return prepend_ + std::string(text); }

private:
    std::string prepend_;
};

class ReplaceNormalizer : public Normalizer {
public:
    explicit ReplaceNormalizer(const Config& config) : pattern_(StringReplacePattern::from(config)) {}
    std::string normalize(std::string_view text) const override {
        return pattern_ ? pattern_->apply(text) : std::string(text);
    }

private:
    std::optional<StringReplacePattern> pattern_;
};

class LowercaseNormalizer : public Normalizer {
public:
    std::string normalize(std::string_view text) const override;
};

class NFDNormalizer : public Normalizer {
public:
    std::string normalize(std::string_view text) const override;
};
class NFCNormalizer : public Normalizer {
public:
    std::string normalize(std::string_view text) const override;
};
class NFKDNormalizer : public Normalizer {
public:
    std::string normalize(std::string_view text) const override;
};
class NFKCNormalizer : public Normalizer {
public:
    std::string normalize(std::string_view text) const override;
};

// Removes combining marks (category Mn) and nothing else; pair it with NFD to
// take accents off precomposed letters.
class StripAccentsNormalizer : public Normalizer {
public:
    std::string normalize(std::string_view text) const override;
};

class StripNormalizer : public Normalizer {
public:
    explicit StripNormalizer(const Config& config)
        : leftStrip_(config["stripLeft"].boolean().value_or(true)), rightStrip_(config["stripRight"].boolean().value_or(true)) {}
    std::string normalize(std::string_view text) const override;

private:
    bool leftStrip_;
    bool rightStrip_;
};

class BertNormalizer : public Normalizer {
public:
    explicit BertNormalizer(const Config& config);
    std::string normalize(std::string_view text) const override;
    static std::string cleanText(std::string_view text);
    static std::string handleChineseChars(std::string_view text);
    static std::string stripAccents(std::string_view text);

private:
    bool shouldCleanText_;
    bool shouldHandleChineseChars_;
    bool shouldStripAccents_;
    bool shouldLowercase_;
};

class PrecompiledNormalizer : public Normalizer {
public:
    std::string normalize(std::string_view text) const override;
};

}  // namespace Tokenizers
