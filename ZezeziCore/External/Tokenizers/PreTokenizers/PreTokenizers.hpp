#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ZezeziCore/External/Tokenizers/StringSearch.hpp"
#include "ZezeziCore/External/Tokenizers/Tokenizer.hpp"

namespace Tokenizers {

enum class PreTokenizerOption { firstSection };

struct PreTokenizerOptions {
    bool firstSection = false;
    static PreTokenizerOptions none() { return {}; }
    static PreTokenizerOptions first() { return {true}; }
    bool contains(PreTokenizerOption) const { return firstSection; }
};

// Cuts one (normalized) section of text into the pieces the model sees.
class PreTokenizer {
public:
    virtual ~PreTokenizer() = default;
    virtual std::vector<std::string> preTokenize(std::string_view text, PreTokenizerOptions options) const = 0;
    // The same pieces, handed to `visit` one by one; a piece's text lives
    // only for the call.
    using PieceVisitor = std::function<void(std::string_view)>;
    virtual void forEachPiece(std::string_view text, PreTokenizerOptions options, const PieceVisitor& visit) const;
    std::vector<std::string> preTokenize(const std::vector<std::string>& texts, PreTokenizerOptions options) const;
    std::vector<std::string> operator()(const std::vector<std::string>& texts, PreTokenizerOptions options) const {
        return preTokenize(texts, options);
    }
    std::vector<std::string> operator()(std::string_view text, PreTokenizerOptions options) const {
        return preTokenize(text, options);
    }
};

namespace PreTokenizerFactory {
// None for a config that is not an object or whose `type` is not a text.
// Throws TokenizerError.mismatchedConfig for an unknown keyword, a Sequence
// without a list, or a Split pattern that does not compile.
std::shared_ptr<const PreTokenizer> fromConfig(const Config& config);
}  // namespace PreTokenizerFactory

class PreTokenizerSequence : public PreTokenizer {
public:
    explicit PreTokenizerSequence(const Config& config);
    std::vector<std::string> preTokenize(std::string_view text, PreTokenizerOptions options) const override;

private:
    std::vector<std::shared_ptr<const PreTokenizer>> preTokenizers_;
};

// UTF-8 bytes of each piece as characters of the byte alphabet.
class ByteLevelPreTokenizer : public PreTokenizer {
public:
    explicit ByteLevelPreTokenizer(const Config& config);
    std::vector<std::string> preTokenize(std::string_view text, PreTokenizerOptions options) const override;
    void forEachPiece(std::string_view text, PreTokenizerOptions options, const PieceVisitor& visit) const override;

private:
    bool addPrefixSpace_;
    bool trimOffsets_;
    bool useRegex_;
};

// Pieces are the matches of a fixed pattern; text between them is dropped.
class RegexRunsPreTokenizer : public PreTokenizer {
public:
    explicit RegexRunsPreTokenizer(std::string_view pattern);
    std::vector<std::string> preTokenize(std::string_view text, PreTokenizerOptions options) const override;

private:
    SearchPattern re_;
};

class PunctuationPreTokenizer : public RegexRunsPreTokenizer {
public:
    explicit PunctuationPreTokenizer(const Config& = {});
};
class DigitsPreTokenizer : public RegexRunsPreTokenizer {
public:
    explicit DigitsPreTokenizer(const Config& config);
};
class WhitespacePreTokenizer : public RegexRunsPreTokenizer {
public:
    explicit WhitespacePreTokenizer(const Config& = {});
};
class BertPreTokenizer : public RegexRunsPreTokenizer {
public:
    explicit BertPreTokenizer(const Config& = {});
};

class SplitPreTokenizer : public PreTokenizer {
public:
    explicit SplitPreTokenizer(const Config& config);
    std::vector<std::string> preTokenize(std::string_view text, PreTokenizerOptions options) const override;

private:
    std::optional<SearchPattern> pattern_;
    bool isRegex_ = false;
    bool invert_ = false;
};

class MetaspacePreTokenizer : public PreTokenizer {
public:
    enum class PrependScheme { first, never, always };
    explicit MetaspacePreTokenizer(const Config& config);
    std::vector<std::string> preTokenize(std::string_view text, PreTokenizerOptions options) const override;

private:
    bool addPrefixSpace_;
    std::string replacement_;
    std::string stringReplacement_;
    PrependScheme prependScheme_;
};

}  // namespace Tokenizers
