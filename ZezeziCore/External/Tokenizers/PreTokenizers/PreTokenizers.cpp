#include "ZezeziCore/External/Tokenizers/PreTokenizers/PreTokenizers.hpp"

#include "ZezeziCore/External/Tokenizers/ByteEncoder.hpp"
#include "ZezeziCore/External/Tokenizers/ByteLevelSplit.hpp"
#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

namespace Tokenizers {

namespace {

constexpr const char* kPunctuationPattern =
    "[^\\p{P}\\u0021-\\u002F\\u003A-\\u0040\\u005B-\\u0060\\u007B-\\u007E]+|"
    "[\\p{P}\\u0021-\\u002F\\u003A-\\u0040\\u005B-\\u0060\\u007B-\\u007E]+";
constexpr const char* kBertPattern =
    "[^\\s\\p{P}\\u0021-\\u002F\\u003A-\\u0040\\u005B-\\u0060\\u007B-\\u007E]+|"
    "[\\p{P}\\u0021-\\u002F\\u003A-\\u0040\\u005B-\\u0060\\u007B-\\u007E]";

}  // namespace

std::vector<std::string> PreTokenizer::preTokenize(const std::vector<std::string>& texts, PreTokenizerOptions options) const {
    std::vector<std::string> out;
    for (const auto& t : texts)
        for (auto& piece : preTokenize(std::string_view(t), options)) out.push_back(std::move(piece));
    return out;
}

std::shared_ptr<const PreTokenizer> PreTokenizerFactory::fromConfig(const Config& config) {
    auto type = config["type"].string();
    if (!type) return nullptr;
    const std::string& t = *type;
    if (t == "Sequence") return std::make_shared<PreTokenizerSequence>(config);
    if (t == "ByteLevel") return std::make_shared<ByteLevelPreTokenizer>(config);
    if (t == "Punctuation") return std::make_shared<PunctuationPreTokenizer>(config);
    if (t == "Digits") return std::make_shared<DigitsPreTokenizer>(config);
    if (t == "Split") return std::make_shared<SplitPreTokenizer>(config);
    if (t == "Whitespace" || t == "WhitespaceSplit") return std::make_shared<WhitespacePreTokenizer>(config);
    if (t == "Metaspace") return std::make_shared<MetaspacePreTokenizer>(config);
    if (t == "BertPreTokenizer") return std::make_shared<BertPreTokenizer>(config);
    throw TokenizerError::mismatchedConfig("Unsupported PreTokenizer type: " + t);
}

PreTokenizerSequence::PreTokenizerSequence(const Config& config) {
    auto list = config["pretokenizers"].array();
    if (!list) throw TokenizerError::mismatchedConfig("No pretokenizers in Sequence");
    for (const Config& element : *list)
        if (auto p = PreTokenizerFactory::fromConfig(element)) preTokenizers_.push_back(std::move(p));
}

std::vector<std::string> PreTokenizerSequence::preTokenize(std::string_view text, PreTokenizerOptions options) const {
    std::vector<std::string> pieces{std::string(text)};
    for (const auto& p : preTokenizers_) pieces = (*p)(pieces, options);
    return pieces;
}

ByteLevelPreTokenizer::ByteLevelPreTokenizer(const Config& config)
    : addPrefixSpace_(config["addPrefixSpace"].boolean().value_or(false)),
      trimOffsets_(config["trimOffsets"].boolean().value_or(true)),
      useRegex_(config["useRegex"].boolean().value_or(true)) {}

void PreTokenizer::forEachPiece(std::string_view text, PreTokenizerOptions options, const PieceVisitor& visit) const {
    for (const auto& piece : preTokenize(text, options)) visit(piece);
}

std::vector<std::string> ByteLevelPreTokenizer::preTokenize(std::string_view text, PreTokenizerOptions options) const {
    std::vector<std::string> pieces;
    forEachPiece(text, options, [&](std::string_view piece) { pieces.emplace_back(piece); });
    return pieces;
}

void ByteLevelPreTokenizer::forEachPiece(std::string_view text, PreTokenizerOptions, const PieceVisitor& visit) const {
    std::string mapped;  // reused for every piece
    auto map = [&](std::string_view piece) {
        mapped.clear();
        // Every piece that lacks a leading space gets one, not only the first.
        if (addPrefixSpace_ && (piece.empty() || piece.front() != ' ')) appendByteLevelEncoded(mapped, " ");
        appendByteLevelEncoded(mapped, piece);
        visit(mapped);
    };
    if (useRegex_) {
        for (const auto& r : byteLevelSplitRanges(text)) map(text.substr(r.lower, r.upper - r.lower));
    } else {
        map(text);
    }
}

RegexRunsPreTokenizer::RegexRunsPreTokenizer(std::string_view pattern) : re_(SearchPattern::regex(pattern)) {}

std::vector<std::string> RegexRunsPreTokenizer::preTokenize(std::string_view text, PreTokenizerOptions) const {
    return rangeTexts(text, re_);
}

PunctuationPreTokenizer::PunctuationPreTokenizer(const Config&) : RegexRunsPreTokenizer(kPunctuationPattern) {}

DigitsPreTokenizer::DigitsPreTokenizer(const Config& config)
    : RegexRunsPreTokenizer(config["individualDigits"].boolean().value_or(false) ? "[^\\d]+|\\d" : "[^\\d]+|\\d+") {}

WhitespacePreTokenizer::WhitespacePreTokenizer(const Config&) : RegexRunsPreTokenizer("\\S+") {}

BertPreTokenizer::BertPreTokenizer(const Config&) : RegexRunsPreTokenizer(kBertPattern) {}

SplitPreTokenizer::SplitPreTokenizer(const Config& config) : invert_(config["invert"].boolean().value_or(false)) {
    Config pattern = config["pattern"];
    if (auto s = pattern["String"].string()) {
        pattern_ = SearchPattern::plain(*s);
    } else if (auto r = pattern["Regex"].string()) {
        // Checked here, so a bad pattern stops the tokenizer from being built.
        pattern_ = SearchPattern::regex(*r);
        isRegex_ = true;
    }
}

std::vector<std::string> SplitPreTokenizer::preTokenize(std::string_view text, PreTokenizerOptions) const {
    if (!pattern_) return {std::string(text)};
    return split(text, *pattern_, isRegex_ ? true : !invert_);
}

MetaspacePreTokenizer::MetaspacePreTokenizer(const Config& config)
    : addPrefixSpace_(config["addPrefixSpace"].boolean().value_or(false)),
      replacement_(config["replacement"].string().value_or(" ")),
      stringReplacement_(config["strRep"].string().value_or(replacement_)),
      prependScheme_(PrependScheme::always) {
    auto scheme = config["prependScheme"].string();
    if (scheme == "first") prependScheme_ = PrependScheme::first;
    if (scheme == "never") prependScheme_ = PrependScheme::never;
}

std::vector<std::string> MetaspacePreTokenizer::preTokenize(std::string_view text, PreTokenizerOptions options) const {
    std::string replaced = text::replacingAll(text, " ", stringReplacement_);
    std::string prefix;
    if (addPrefixSpace_ && replaced.compare(0, replacement_.size(), replacement_) != 0) {
        if (prependScheme_ == PrependScheme::always || (prependScheme_ == PrependScheme::first && options.firstSection))
            prefix = stringReplacement_;
    }
    std::string whole = prefix + replaced;
    // The replacement is split at literally, whatever characters it holds.
    return split(whole, SearchPattern::plain(replacement_), SplitDelimiterBehavior::mergedWithNext);
}

}  // namespace Tokenizers
