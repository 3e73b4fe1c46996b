#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZezeziCore/External/Tokenizers/Tokenizer.hpp"

namespace Tokenizers {

// The last step of encoding: token texts of sequence A (and B) in, the
// token texts with the special tokens the description asks for out.
class PostProcessor {
public:
    virtual ~PostProcessor() = default;
    virtual std::vector<std::string> postProcess(const std::vector<std::string>& tokens,
                                                 const std::optional<std::vector<std::string>>& tokensPair,
                                                 bool addSpecialTokens) const = 0;
    std::vector<std::string> operator()(const std::vector<std::string>& tokens,
                                        const std::optional<std::vector<std::string>>& tokensPair = std::nullopt,
                                        bool addSpecialTokens = true) const {
        return postProcess(tokens, tokensPair, addSpecialTokens);
    }

    // What postProcess makes of a single sequence, for a processor that
    // passes its tokens through unchanged: the parts in order, each a special
    // token's text or, where absent, the whole sequence. None when the
    // processor changes the tokens themselves.
    using Layout = std::vector<std::optional<std::string>>;
    virtual std::optional<Layout> singleLayout(bool addSpecialTokens) const = 0;
};

namespace PostProcessorFactory {
// None for a config that is not an object or whose `type` is not a text.
// Throws TokenizerError.mismatchedConfig on a configuration error.
std::shared_ptr<const PostProcessor> fromConfig(const Config& config);
}  // namespace PostProcessorFactory

class TemplateProcessing : public PostProcessor {
public:
    explicit TemplateProcessing(const Config& config);
    std::vector<std::string> postProcess(const std::vector<std::string>& tokens,
                                         const std::optional<std::vector<std::string>>& tokensPair,
                                         bool addSpecialTokens) const override;
    std::optional<Layout> singleLayout(bool addSpecialTokens) const override;

private:
    std::shared_ptr<const Config::Array> single_;
    std::shared_ptr<const Config::Array> pair_;
};

class ByteLevelPostProcessor : public PostProcessor {
public:
    explicit ByteLevelPostProcessor(const Config& = {}) {}
    std::vector<std::string> postProcess(const std::vector<std::string>& tokens, const std::optional<std::vector<std::string>>&,
                                         bool) const override {
        return tokens;
    }
    std::optional<Layout> singleLayout(bool) const override { return Layout{std::nullopt}; }
};

class RobertaProcessing : public PostProcessor {
public:
    explicit RobertaProcessing(const Config& config);
    std::vector<std::string> postProcess(const std::vector<std::string>& tokens,
                                         const std::optional<std::vector<std::string>>& tokensPair,
                                         bool addSpecialTokens) const override;
    std::optional<Layout> singleLayout(bool addSpecialTokens) const override;
    std::string trimmed(const std::string& token) const;

private:
    std::pair<uint64_t, std::string> sep_;
    std::pair<uint64_t, std::string> cls_;
    bool trimOffset_;
    bool addPrefixSpace_;
};

class BertProcessing : public PostProcessor {
public:
    explicit BertProcessing(const Config& config);
    std::vector<std::string> postProcess(const std::vector<std::string>& tokens,
                                         const std::optional<std::vector<std::string>>& tokensPair,
                                         bool addSpecialTokens) const override;
    std::optional<Layout> singleLayout(bool addSpecialTokens) const override;

private:
    std::pair<uint64_t, std::string> sep_;
    std::pair<uint64_t, std::string> cls_;
};

class SequenceProcessing : public PostProcessor {
public:
    explicit SequenceProcessing(const Config& config);
    std::vector<std::string> postProcess(const std::vector<std::string>& tokens,
                                         const std::optional<std::vector<std::string>>& tokensPair,
                                         bool addSpecialTokens) const override;
    std::optional<Layout> singleLayout(bool addSpecialTokens) const override;

private:
    std::vector<std::shared_ptr<const PostProcessor>> processors_;
};

}  // namespace Tokenizers
