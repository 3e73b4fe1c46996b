#include "ZezeziCore/External/Tokenizers/PostProcessors/PostProcessors.hpp"

#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

namespace Tokenizers {

std::shared_ptr<const PostProcessor> PostProcessorFactory::fromConfig(const Config& config) {
    auto type = config["type"].string();
    if (!type) return nullptr;
    const std::string& t = *type;
    if (t == "TemplateProcessing") return std::make_shared<TemplateProcessing>(config);
    if (t == "ByteLevel") return std::make_shared<ByteLevelPostProcessor>(config);
    if (t == "RobertaProcessing") return std::make_shared<RobertaProcessing>(config);
    if (t == "BertProcessing") return std::make_shared<BertProcessing>(config);
    if (t == "Sequence") return std::make_shared<SequenceProcessing>(config);
    throw TokenizerError::mismatchedConfig("Unsupported PostProcessor type: " + t);
}

TemplateProcessing::TemplateProcessing(const Config& config) {
    single_ = config["single"].array();
    if (!single_) throw TokenizerError::mismatchedConfig("Missing `single` processor configuration");
    pair_ = config["pair"].array();
    if (!pair_) throw TokenizerError::mismatchedConfig("Missing `pair` processor configuration");
}

std::vector<std::string> TemplateProcessing::postProcess(const std::vector<std::string>& tokens,
                                                         const std::optional<std::vector<std::string>>& tokensPair,
                                                         bool addSpecialTokens) const {
    const Config::Array& items = tokensPair ? *pair_ : *single_;
    std::vector<std::string> out;
    for (const Config& item : items) {
        if (auto special = item["SpecialToken"]["id"].string()) {
            if (addSpecialTokens) out.push_back(std::move(*special));
            continue;
        }
        auto sequence = item["Sequence"]["id"].string();
        if (sequence == "A") {
            out.insert(out.end(), tokens.begin(), tokens.end());
        } else if (sequence == "B" && tokensPair) {
            // B without a second sequence adds nothing.
            out.insert(out.end(), tokensPair->begin(), tokensPair->end());
        }
    }
    return out;
}

std::optional<PostProcessor::Layout> TemplateProcessing::singleLayout(bool addSpecialTokens) const {
    Layout layout;
    for (const Config& item : *single_) {
        if (auto special = item["SpecialToken"]["id"].string()) {
            if (addSpecialTokens) layout.emplace_back(std::move(*special));
            continue;
        }
        if (item["Sequence"]["id"].string() == "A") layout.emplace_back(std::nullopt);
    }
    return layout;
}

namespace {

std::pair<uint64_t, std::string> readToken(const Config& config, const char* name) {
    auto token = config[name].token();
    if (!token) throw TokenizerError::mismatchedConfig(std::string("Missing `") + name + "` processor configuration");
    return *token;
}

}  // namespace

BertProcessing::BertProcessing(const Config& config) : sep_(readToken(config, "sep")), cls_(readToken(config, "cls")) {}

std::vector<std::string> BertProcessing::postProcess(const std::vector<std::string>& tokens,
                                                     const std::optional<std::vector<std::string>>& tokensPair,
                                                     bool addSpecialTokens) const {
    std::vector<std::string> out;
    if (addSpecialTokens) {
        out.push_back(cls_.second);
        out.insert(out.end(), tokens.begin(), tokens.end());
        out.push_back(sep_.second);
        if (tokensPair && !tokensPair->empty()) {
            out.insert(out.end(), tokensPair->begin(), tokensPair->end());
            out.push_back(sep_.second);
        }
    } else {
        out = tokens;
        if (tokensPair) out.insert(out.end(), tokensPair->begin(), tokensPair->end());
    }
    return out;
}

std::optional<PostProcessor::Layout> BertProcessing::singleLayout(bool addSpecialTokens) const {
    if (!addSpecialTokens) return Layout{std::nullopt};
    return Layout{cls_.second, std::nullopt, sep_.second};
}

RobertaProcessing::RobertaProcessing(const Config& config)
    : sep_(readToken(config, "sep")),
      cls_(readToken(config, "cls")),
      trimOffset_(config["trimOffset"].boolean().value_or(true)),
      addPrefixSpace_(config["addPrefixSpace"].boolean().value_or(true)) {}

std::string RobertaProcessing::trimmed(const std::string& token) const {
    auto chars = text::characters(token);
    std::size_t first = 0, last = chars.size();
    if (!addPrefixSpace_) {
        auto isSpace = [](std::string_view ch) { return text::isSpaceSeparatorOrTab(text::firstScalar(ch)); };
        while (first < last && isSpace(chars[first])) ++first;
        while (last > first && isSpace(chars[last - 1])) --last;
    } else {
        auto isSpace = [](std::string_view ch) { return text::isWhiteSpace(text::firstScalar(ch)); };
        std::size_t leading = 0, trailing = 0;
        while (leading < chars.size() && isSpace(chars[leading])) ++leading;
        while (trailing < chars.size() && isSpace(chars[chars.size() - 1 - trailing])) ++trailing;
        if (leading > 0) first = leading - 1;
        if (trailing > 0) last = chars.size() - (trailing - 1);
        // An all-white token longer than two characters: both cuts overlap; keep one.
        if (first >= last) {
            if (leading == chars.size() && chars.size() > 2) return std::string(chars.front());
            return {};
        }
    }
    if (first >= last) return {};
    std::size_t a = static_cast<std::size_t>(chars[first].data() - token.data());
    std::size_t b = static_cast<std::size_t>(chars[last - 1].data() - token.data()) + chars[last - 1].size();
    return token.substr(a, b - a);
}

std::vector<std::string> RobertaProcessing::postProcess(const std::vector<std::string>& tokens,
                                                        const std::optional<std::vector<std::string>>& tokensPair,
                                                        bool) const {
    std::vector<std::string> a = tokens;
    std::optional<std::vector<std::string>> b = tokensPair;
    if (trimOffset_) {
        for (auto& t : a) t = trimmed(t);
        if (b)
            for (auto& t : *b) t = trimmed(t);
    }
    std::vector<std::string> out;
    out.push_back(cls_.second);
    out.insert(out.end(), a.begin(), a.end());
    out.push_back(sep_.second);
    if (b && !b->empty()) {
        out.push_back(sep_.second);
        out.insert(out.end(), b->begin(), b->end());
        out.push_back(sep_.second);
    }
    return out;
}

std::optional<PostProcessor::Layout> RobertaProcessing::singleLayout(bool) const {
    // Trimming changes the tokens themselves.
    if (trimOffset_) return std::nullopt;
    return Layout{cls_.second, std::nullopt, sep_.second};
}

SequenceProcessing::SequenceProcessing(const Config& config) {
    auto list = config["processors"].array();
    if (!list) throw TokenizerError::mismatchedConfig("Missing `processors` configuration");
    for (const Config& element : *list)
        if (auto p = PostProcessorFactory::fromConfig(element)) processors_.push_back(std::move(p));
}

std::vector<std::string> SequenceProcessing::postProcess(const std::vector<std::string>& tokens,
                                                         const std::optional<std::vector<std::string>>& tokensPair,
                                                         bool addSpecialTokens) const {
    if (processors_.empty()) return tokens;
    std::vector<std::string> out = (*processors_.front())(tokens, tokensPair, addSpecialTokens);
    for (std::size_t i = 1; i < processors_.size(); ++i) out = (*processors_[i])(out, std::nullopt, addSpecialTokens);
    return out;
}

std::optional<PostProcessor::Layout> SequenceProcessing::singleLayout(bool addSpecialTokens) const {
    if (processors_.empty()) return Layout{std::nullopt};
    // Each processor lays out what the one before it made.
    Layout layout{std::nullopt};
    for (const auto& processor : processors_) {
        auto inner = processor->singleLayout(addSpecialTokens);
        if (!inner) return std::nullopt;
        Layout next;
        for (const auto& part : *inner) {
            if (part) {
                next.push_back(part);
            } else {
                next.insert(next.end(), layout.begin(), layout.end());
            }
        }
        layout = std::move(next);
    }
    return layout;
}

}  // namespace Tokenizers
