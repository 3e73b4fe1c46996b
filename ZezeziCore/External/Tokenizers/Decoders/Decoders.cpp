#include "ZezeziCore/External/Tokenizers/Decoders/Decoders.hpp"

#include "ZezeziCore/External/Tokenizers/ByteEncoder.hpp"
#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"
#include "platform/foundation/Unicode.hpp"
#include "platform/foundation/Utf8.hpp"

namespace Tokenizers {

std::shared_ptr<const Decoder> DecoderFactory::fromConfig(const Config& config,
                                                          const std::optional<std::unordered_set<std::string>>& addedTokens) {
    auto type = config["type"].string();
    if (!type) return nullptr;
    const std::string& t = *type;
    if (t == "Sequence") return std::make_shared<DecoderSequence>(config);
    if (t == "WordPiece") return std::make_shared<WordPieceDecoder>(config);
    if (t == "ByteLevel") return std::make_shared<ByteLevelDecoder>(addedTokens.value_or(std::unordered_set<std::string>{}));
    if (t == "Replace") return std::make_shared<ReplaceDecoder>(config);
    if (t == "ByteFallback") return std::make_shared<ByteFallbackDecoder>();
    if (t == "Fuse") return std::make_shared<FuseDecoder>();
    if (t == "Strip") return std::make_shared<StripDecoder>(config);
    if (t == "Metaspace") return std::make_shared<MetaspaceDecoder>(config);
    throw TokenizerError::mismatchedConfig("Unsupported Decoder type: " + t);
}

DecoderSequence::DecoderSequence(const Config& config) {
    auto list = config["decoders"].array();
    if (!list) throw TokenizerError::mismatchedConfig("No decoders in Sequence");
    for (const Config& element : *list)
        if (auto d = DecoderFactory::fromConfig(element)) decoders_.push_back(std::move(d));
}

std::vector<std::string> DecoderSequence::decode(const std::vector<std::string>& tokens) const {
    std::vector<std::string> out = tokens;
    for (const auto& d : decoders_) out = (*d)(out);
    return out;
}

namespace {

Regex wordPieceCleanup() {
    static const Regex re = *Regex::compile("\\s(\\.|\\?|\\!|\\,|'\\s|n't|'m|'s|'ve|'re)");
    return re;
}

std::string prefixOf(const Config& config) {
    auto prefix = config["prefix"].string();
    if (!prefix) throw TokenizerError::mismatchedConfig("Missing `prefix` configuration for WordPieceDecoder.");
    return *prefix;
}

// Appends the bytes of one run's characters: alphabet characters give their
// byte; any other character keeps its own UTF-8 bytes, so no text is lost.
void appendRunBytes(std::string& bytes, std::string_view token) {
    for (std::size_t i = 0; i < token.size();) {
        std::size_t start = i;
        char32_t c = platform::decodeUtf8(token, i);
        int b = byteOfScalar(c);
        if (b >= 0)
            bytes.push_back(static_cast<char>(b));
        else
            bytes.append(token.substr(start, i - start));
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

WordPieceDecoder::WordPieceDecoder(const Config& config)
    : prefix_(prefixOf(config)), cleanup_(config["cleanup"].boolean().value_or(false)), re_(wordPieceCleanup()) {}

std::string WordPieceDecoder::cleaned(std::string piece) const {
    if (!cleanup_) return piece;
    return text::replacingAll(re_.replaceAll(piece, "$1"), " do not", " don't");
}

std::vector<std::string> WordPieceDecoder::decode(const std::vector<std::string>& tokens) const {
    std::vector<std::string> out;
    if (tokens.empty()) return out;
    out.push_back(cleaned(tokens.front()));
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        std::string piece;
        if (t.compare(0, prefix_.size(), prefix_) == 0)
            piece = t.substr(prefix_.size());
        else
            piece = " " + t;
        out.push_back(cleaned(std::move(piece)));
    }
    return out;
}

std::vector<std::string> ByteLevelDecoder::decode(const std::vector<std::string>& tokens) const {
    std::vector<std::string> out;
    std::string run;
    bool inRun = false;
    auto flush = [&] {
        if (inRun) out.push_back(platform::repairUtf8(run));
        run.clear();
        inRun = false;
    };
    for (const auto& t : tokens) {
        if (addedTokens_.count(t)) {
            flush();
            out.push_back(t);
        } else {
            appendRunBytes(run, t);
            inRun = true;
        }
    }
    flush();
    return out;
}

std::vector<std::string> ReplaceDecoder::decode(const std::vector<std::string>& tokens) const {
    if (!pattern_) return tokens;
    std::vector<std::string> out;
    out.reserve(tokens.size());
    for (const auto& t : tokens) out.push_back(pattern_->apply(t));
    return out;
}

std::vector<std::string> ByteFallbackDecoder::decode(const std::vector<std::string>& tokens) const {
    std::vector<std::string> out;
    std::string bytes;
    bool collecting = false;
    for (const auto& t : tokens) {
        // Exactly "<0x" + two hex digits + ">"; a sign is no digit.
        if (t.size() == 6 && t.compare(0, 3, "<0x") == 0 && t[5] == '>' && hexDigit(t[3]) >= 0 && hexDigit(t[4]) >= 0) {
            bytes.push_back(static_cast<char>(hexDigit(t[3]) * 16 + hexDigit(t[4])));
            collecting = true;
            continue;
        }
        if (collecting) out.push_back(platform::repairUtf8(bytes));
        bytes.clear();
        collecting = false;
        out.push_back(t);
    }
    if (collecting) out.push_back(platform::repairUtf8(bytes));
    return out;
}

std::vector<std::string> FuseDecoder::decode(const std::vector<std::string>& tokens) const {
    std::string joined;
    for (const auto& t : tokens) joined += t;
    return {joined};
}

StripDecoder::StripDecoder(const Config& config) {
    auto content = config["content"].string();
    if (!content) throw TokenizerError::mismatchedConfig("Incorrect StripDecoder configuration: can't parse `content`.");
    auto start = config["start"].integer();
    if (!start) throw TokenizerError::mismatchedConfig("Incorrect StripDecoder configuration: can't parse `start`.");
    auto stop = config["stop"].integer();
    if (!stop) throw TokenizerError::mismatchedConfig("Incorrect StripDecoder configuration: can't parse `stop`.");
    content_ = *content;
    start_ = *start;
    stop_ = *stop;
}

std::vector<std::string> StripDecoder::decode(const std::vector<std::string>& tokens) const {
    std::vector<std::string> out;
    out.reserve(tokens.size());
    for (std::string_view t : tokens) {
        if (!content_.empty()) {
            for (int64_t i = 0; i < start_ && t.size() >= content_.size() && t.substr(0, content_.size()) == content_; ++i)
                t.remove_prefix(content_.size());
            for (int64_t i = 0; i < stop_ && t.size() >= content_.size() && t.substr(t.size() - content_.size()) == content_; ++i)
                t.remove_suffix(content_.size());
        }
        out.emplace_back(t);
    }
    return out;
}

std::vector<std::string> MetaspaceDecoder::decode(const std::vector<std::string>& tokens) const {
    std::vector<std::string> out;
    out.reserve(tokens.size());
    for (const auto& t : tokens) out.push_back(text::replacingAll(t, replacement_, " "));
    if (addPrefixSpace_ && !out.empty() && !out.front().empty() && out.front().front() == ' ') out.front().erase(0, 1);
    return out;
}

}  // namespace Tokenizers
