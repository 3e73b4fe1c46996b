#include "ZezeziCore/External/Tokenizers/PreTrainedTokenizer.hpp"

#include <algorithm>

#include "ZezeziCore/External/Tokenizers/Models/TokenizerModel.hpp"
#include "ZezeziCore/External/Tokenizers/StringSearch.hpp"
#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"
#include "platform/foundation/Unicode.hpp"
#include "platform/foundation/Utf8.hpp"

namespace Tokenizers {

namespace {

struct AddedTokenRecord {
    std::string content;
    bool prefix;
    bool suffix;
    std::size_t length;
};

}  // namespace

PreTrainedTokenizer::PreTrainedTokenizer(const Config& tokenizerConfig, const Config& tokenizerData, bool strict)
    : tokenizerConfig_(tokenizerConfig) {
    AddedTokenIds addedTokenIds;
    std::vector<AddedTokenRecord> records;
    if (auto entries = tokenizerData["addedTokens"].array()) {
        for (const Config& entry : *entries) {
            auto id = entry["id"].integer();
            auto content = entry["content"].string();
            if (!id || !content) continue;
            addedTokenIds.insert_or_assign(*content, *id);
            if (entry["special"].boolean().value_or(false)) specialTokens_.insert_or_assign(*content, *id);
        }
        for (const Config& entry : *entries) {
            auto content = entry["content"].string();
            // An empty token would match everywhere and cut text into characters.
            if (!content || content->empty()) continue;
            records.push_back(AddedTokenRecord{*content, entry["lstrip"].boolean().value_or(false),
                                               entry["rstrip"].boolean().value_or(false), text::characterCount(*content)});
        }
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const AddedTokenRecord& a, const AddedTokenRecord& b) { return a.length > b.length; });
    if (!records.empty()) {
        // The white space a token strips is taken after matching, not with
        // "\\s*" in the pattern, which would rescan every run of spaces
        // from each of its positions.
        std::string alternation;
        for (const auto& r : records) {
            if (!alternation.empty()) alternation += '|';
            alternation += '(' + Regex::escapedPattern(r.content) + ')';
            addedTokenStrips_.emplace_back(r.prefix, r.suffix);
            addedTokenFirstBytes_[static_cast<unsigned char>(r.content.front())] = true;
        }
        addedTokensRegex_ = Regex::compile(alternation);
    }
    for (const auto& [content, id] : addedTokenIds) addedTokens_.insert(content);
    for (const auto& [content, id] : specialTokens_) specialTokenIds_.insert(id);

    preTokenizer_ = PreTokenizerFactory::fromConfig(tokenizerData["preTokenizer"]);
    normalizer_ = NormalizerFactory::fromConfig(tokenizerData["normalizer"]);
    postProcessor_ = PostProcessorFactory::fromConfig(tokenizerData["postProcessor"]);
    decoder_ = DecoderFactory::fromConfig(tokenizerData["decoder"], addedTokens_);
    cleanUpTokenizationSpaces_ = tokenizerConfig["cleanUpTokenizationSpaces"].boolean().value_or(true);
    model_ = TokenizerModel::from(tokenizerConfig, tokenizerData, addedTokenIds, strict);
}

std::vector<std::string> PreTrainedTokenizer::preTokenize(std::string_view text, PreTokenizerOptions options) const {
    if (!preTokenizer_) return {std::string(text)};
    return (*preTokenizer_)(text, options);
}

std::string PreTrainedTokenizer::normalize(std::string_view text) const {
    if (!normalizer_) return std::string(text);
    return (*normalizer_)(text);
}

std::vector<std::string> PreTrainedTokenizer::postProcess(const std::vector<std::string>& tokens, bool addSpecialTokens) const {
    if (!postProcessor_) return tokens;
    return (*postProcessor_)(tokens, std::nullopt, addSpecialTokens);
}

std::vector<std::string> PreTrainedTokenizer::decodeTokens(const std::vector<std::string>& tokens) const {
    if (!decoder_) return tokens;
    return (*decoder_)(tokens);
}

std::string PreTrainedTokenizer::cleanUp(std::string_view text) const {
    if (!cleanUpTokenizationSpaces_) return std::string(text);
    static const std::pair<const char*, const char*> kRules[] = {
        {" .", "."},   {" ?", "?"},     {" !", "!"},   {" ,", ","},   {" ' ", "'"},
        {" n't", "n't"}, {" 'm", "'m"}, {" 's", "'s"}, {" 've", "'ve"}, {" 're", "'re"},
    };
    std::string out(text);
    for (const auto& [from, to] : kRules) out = text::replacingAll(out, from, to);
    return out;
}

std::vector<std::string> PreTrainedTokenizer::fuseUnknown(const std::vector<std::string>& tokens) const {
    if (!fuseUnknownTokens()) return tokens;
    std::vector<std::string> out;
    out.reserve(tokens.size());
    const auto unknownId = model_->unknownTokenId();
    bool previousUnknown = false;
    for (const auto& t : tokens) {
        bool unknown = model_->convertTokenToId(t) == unknownId;
        if (unknown && previousUnknown) continue;
        out.push_back(t);
        previousUnknown = unknown;
    }
    return out;
}

std::vector<std::string> PreTrainedTokenizer::splitAtAddedTokens(std::string_view text) const {
    auto views = sectionsAtAddedTokens(text);
    return std::vector<std::string>(views.begin(), views.end());
}

std::vector<std::string_view> PreTrainedTokenizer::sectionsAtAddedTokens(std::string_view text) const {
    if (!addedTokensRegex_ ||
        std::none_of(text.begin(), text.end(), [&](char c) { return addedTokenFirstBytes_[static_cast<unsigned char>(c)]; }))
        return {text};
    auto isSpaceBefore = [&](std::size_t end, std::size_t& start) {
        std::size_t b = end;
        if (!text::isWhiteSpace(platform::decodeUtf8Before(text, b))) return false;
        start = b;
        return true;
    };
    std::vector<std::string_view> out;
    std::size_t q = 0;
    for (const auto& m : addedTokensRegex_->matches(text)) {
        std::size_t g = m.groups.size();
        while (g-- > 1 && !m.groups[g]) {}
        if (g == 0 || !m.groups[g] || m.groups[g]->lower < q) continue;
        const auto [token, strip] = std::pair{*m.groups[g], addedTokenStrips_[g - 1]};
        std::size_t lower = token.lower, upper = token.upper;
        if (strip.first) {
            std::size_t start;
            while (lower > q && isSpaceBefore(lower, start)) lower = start;
        }
        if (strip.second) {
            while (upper < text.size()) {
                std::size_t i = upper;
                if (!text::isWhiteSpace(platform::decodeUtf8(text, i))) break;
                upper = i;
            }
        }
        if (q < lower) out.emplace_back(text.substr(q, lower - q));
        out.emplace_back(text.substr(token.lower, token.upper - token.lower));
        q = upper;
    }
    if (out.empty()) return {text};
    if (q < text.size()) out.emplace_back(text.substr(q));
    return out;
}

std::vector<std::string> PreTrainedTokenizer::tokenize(std::string_view input) const {
    // Ill-formed UTF-8 becomes U+FFFD before anything looks at it.
    const std::string text = platform::repairUtf8(input);
    std::vector<std::string> out;
    auto sections = splitAtAddedTokens(text);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::string& section = sections[i];
        std::vector<std::string> tokens;
        if (addedTokens_.count(section)) {
            tokens.push_back(section);
        } else {
            std::string normalized = normalize(section);
            for (const auto& piece : preTokenize(normalized, i == 0 ? PreTokenizerOptions::first() : PreTokenizerOptions::none()))
                for (auto& t : (*model_)(piece)) tokens.push_back(std::move(t));
        }
        if (fuseUnknownTokens()) tokens = fuseUnknown(tokens);
        for (auto& t : tokens) out.push_back(std::move(t));
    }
    return out;
}

void PreTrainedTokenizer::appendSequenceIds(std::string_view input, std::vector<int64_t>& ids) const {
    // The steps of tokenize, with ids in place of token texts.
    std::string repairedCopy;
    std::string_view text = input;
    if (!platform::isValidUtf8(input)) text = repairedCopy = platform::repairUtf8(input);
    const auto sections = sectionsAtAddedTokens(text);
    std::string normalized;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::string_view section = sections[i];
        if (addedTokens_.count(std::string(section))) {
            ids.push_back(requireId(*model_, section));
            continue;
        }
        std::string_view piecesOf = section;
        if (normalizer_) piecesOf = normalized = normalize(section);
        const auto options = i == 0 ? PreTokenizerOptions::first() : PreTokenizerOptions::none();
        if (!preTokenizer_) {
            model_->appendIds(piecesOf, ids);
        } else {
            preTokenizer_->forEachPiece(piecesOf, options, [&](std::string_view piece) { model_->appendIds(piece, ids); });
        }
    }
}

std::vector<int64_t> PreTrainedTokenizer::encodeIds(std::string_view text, const PostProcessor::Layout& layout) const {
    std::vector<int64_t> ids;
    ids.reserve(text.size() / 3 + layout.size());
    // Parts in order, so that a missing token is reported where the texts
    // would have met it first.
    std::optional<std::size_t> sequenceStart;
    std::size_t sequenceLength = 0;
    for (const auto& part : layout) {
        if (part) {
            ids.push_back(requireId(*model_, *part));
        } else if (!sequenceStart) {
            sequenceStart = ids.size();
            appendSequenceIds(text, ids);
            sequenceLength = ids.size() - *sequenceStart;
        } else {
            const auto from = ids.begin() + static_cast<std::ptrdiff_t>(*sequenceStart);
            const std::vector<int64_t> again(from, from + static_cast<std::ptrdiff_t>(sequenceLength));
            ids.insert(ids.end(), again.begin(), again.end());
        }
    }
    return ids;
}

std::vector<int64_t> PreTrainedTokenizer::encode(std::string_view text, bool addSpecialTokens) const {
    // Fusing unknown tokens and a post-processor that rewrites tokens need
    // the texts; otherwise the ids come straight from the model.
    if (!fuseUnknownTokens()) {
        if (!postProcessor_) return encodeIds(text, PostProcessor::Layout{std::nullopt});
        if (auto layout = postProcessor_->singleLayout(addSpecialTokens)) return encodeIds(text, *layout);
    }
    return encodeTokens(tokenize(text), addSpecialTokens);
}

std::vector<int64_t> PreTrainedTokenizer::encodeTokens(std::vector<std::string> tokens, bool addSpecialTokens) const {
    if (postProcessor_) tokens = postProcess(tokens, addSpecialTokens);
    std::vector<int64_t> ids;
    ids.reserve(tokens.size());
    for (const auto& t : tokens) ids.push_back(requireId(*model_, t));
    return ids;
}

std::string PreTrainedTokenizer::decode(const std::vector<int64_t>& ids, bool skipSpecialTokens) const {
    std::vector<std::string> tokens;
    tokens.reserve(ids.size());
    for (int64_t id : ids) {
        if (skipSpecialTokens && specialTokenIds_.count(id)) continue;
        if (auto t = model_->convertIdToToken(id)) tokens.push_back(std::move(*t));
    }
    tokens = decodeTokens(tokens);
    std::string joined;
    for (const auto& t : tokens) joined += t;
    return cleanUp(joined);
}

std::optional<Config> maybeUpdatePostProcessor(const Config& tokenizerConfig, const Config& processorConfig) {
    auto existing = PostProcessorFactory::fromConfig(processorConfig);
    if (dynamic_cast<const TemplateProcessing*>(existing.get())) return std::nullopt;

    const bool addBos = tokenizerConfig["addBosToken"].boolean().value_or(false);
    auto bos = addedTokenAsString(tokenizerConfig["bosToken"]);
    if (addBos && !bos) throw TokenizerError::mismatchedConfig("add_bos_token is True but bos_token is nil");
    const bool addEos = tokenizerConfig["addEosToken"].boolean().value_or(false);
    auto eos = addedTokenAsString(tokenizerConfig["eosToken"]);
    if (addEos && !eos) throw TokenizerError::mismatchedConfig("add_eos_token is True but eos_token is nil");

    auto item = [](const char* kind, const std::string& id, int typeId) {
        return Config::dictionary({{kind, Config::dictionary({{"id", id}, {"type_id", typeId}})}});
    };
    Config::Array single;
    if (addBos) single.push_back(item("SpecialToken", *bos, 0));
    single.push_back(item("Sequence", "A", 0));
    if (addEos) single.push_back(item("SpecialToken", *eos, 0));
    Config::Array pair = single;
    if (addBos) pair.push_back(item("SpecialToken", *bos, 1));
    pair.push_back(item("Sequence", "B", 1));
    if (addEos) pair.push_back(item("SpecialToken", *eos, 1));
    return Config::dictionary({{"type", "TemplateProcessing"}, {"single", Config(std::move(single))}, {"pair", Config(std::move(pair))}});
}

Config LlamaPreTrainedTokenizer::rewrittenData(const Config& tokenizerConfig, const Config& tokenizerData) {
    const bool legacy = tokenizerConfig["legacy"].boolean().value_or(true);
    Config::Dictionary copy;
    if (auto d = tokenizerData.dictionary()) copy = *d;
    if (!legacy) {
        copy.erase(ZezeziCore::BinaryDistinctString("normalizer"));
        copy.insert_or_assign(ZezeziCore::BinaryDistinctString("pre_tokenizer"),
                              Config::dictionary({{"type", "Metaspace"},
                                                  {"replacement", "\xE2\x96\x81"},
                                                  {"add_prefix_space", true},
                                                  {"prepend_scheme", "first"}}));
    }
    if (auto updated = maybeUpdatePostProcessor(tokenizerConfig, tokenizerData["postProcessor"]))
        copy.insert_or_assign(ZezeziCore::BinaryDistinctString("post_processor"), *updated);
    return Config(std::move(copy));
}

LlamaPreTrainedTokenizer::LlamaPreTrainedTokenizer(const Config& tokenizerConfig, const Config& tokenizerData, bool strict)
    : PreTrainedTokenizer(tokenizerConfig, rewrittenData(tokenizerConfig, tokenizerData), strict),
      isLegacy_(tokenizerConfig["legacy"].boolean().value_or(true)) {}

std::vector<std::string> LlamaPreTrainedTokenizer::tokenize(std::string_view text) const {
    if (isLegacy_ || text.empty()) return PreTrainedTokenizer::tokenize(text);
    std::string prepared = "\xE2\x96\x81" + text::replacingAll(platform::repairUtf8(text), "\xE2\x96\x81", " ");
    auto tokens = PreTrainedTokenizer::tokenize(prepared);
    if (tokens.size() >= 2 && tokens[0] == "\xE2\x96\x81" && specialTokens().count(tokens[1])) tokens.erase(tokens.begin());
    return tokens;
}

}  // namespace Tokenizers
