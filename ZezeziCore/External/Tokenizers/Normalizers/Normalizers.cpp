#include "ZezeziCore/External/Tokenizers/Normalizers/Normalizers.hpp"

#include <unicode/uchar.h>

#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"
#include "platform/foundation/Utf8.hpp"

namespace Tokenizers {

std::optional<StringReplacePattern> StringReplacePattern::from(const Config& config) {
    auto replacement = config["content"].string();
    if (!replacement) return std::nullopt;
    Config pattern = config["pattern"];
    StringReplacePattern p;
    p.replacement_ = std::move(*replacement);
    if (auto s = pattern["String"].string()) {
        p.pattern_ = std::move(*s);
        return p;
    }
    if (auto r = pattern["Regex"].string()) {
        auto compiled = Regex::compile(*r);
        if (!compiled) throw TokenizerError::mismatchedConfig("Cannot build regexp from " + *r);
        p.regex_ = std::move(compiled);
        p.pattern_ = std::move(*r);
        return p;
    }
    return std::nullopt;
}

std::string StringReplacePattern::apply(std::string_view text) const {
    if (regex_) return regex_->replaceAll(text, replacement_);
    return text::replacingAll(text, pattern_, replacement_);
}

std::shared_ptr<const Normalizer> NormalizerFactory::fromConfig(const Config& config) {
    auto type = config["type"].string();
    if (!type) return nullptr;
    const std::string& t = *type;
    if (t == "Sequence") return std::make_shared<NormalizerSequence>(config);
    if (t == "Prepend") return std::make_shared<PrependNormalizer>(config);
    if (t == "Replace") return std::make_shared<ReplaceNormalizer>(config);
    if (t == "Lowercase") return std::make_shared<LowercaseNormalizer>();
    if (t == "NFD") return std::make_shared<NFDNormalizer>();
    if (t == "NFC") return std::make_shared<NFCNormalizer>();
    if (t == "NFKD") return std::make_shared<NFKDNormalizer>();
    if (t == "NFKC") return std::make_shared<NFKCNormalizer>();
    if (t == "Bert" || t == "BertNormalizer") return std::make_shared<BertNormalizer>(config);
    if (t == "Precompiled") return std::make_shared<PrecompiledNormalizer>();
    if (t == "StripAccents") return std::make_shared<StripAccentsNormalizer>();
    if (t == "Strip") return std::make_shared<StripNormalizer>(config);
    throw TokenizerError::mismatchedConfig("Unsupported Normalizer type: " + t);
}

NormalizerSequence::NormalizerSequence(const Config& config) {
    auto list = config["normalizers"].array();
    if (!list) throw TokenizerError::mismatchedConfig("No normalizers in Sequence");
    for (const Config& element : *list)
        if (auto n = NormalizerFactory::fromConfig(element)) normalizers_.push_back(std::move(n));
}

std::string NormalizerSequence::normalize(std::string_view text) const {
    std::string out(text);
    for (const auto& n : normalizers_) out = (*n)(out);
    return out;
}

std::string LowercaseNormalizer::normalize(std::string_view text) const { return text::lowercased(text); }
std::string NFDNormalizer::normalize(std::string_view text) const { return text::nfd(text); }
std::string NFCNormalizer::normalize(std::string_view text) const { return text::nfc(text); }
std::string NFKDNormalizer::normalize(std::string_view text) const { return text::nfkd(text); }
std::string NFKCNormalizer::normalize(std::string_view text) const { return text::nfkc(text); }

std::string StripAccentsNormalizer::normalize(std::string_view text) const { return text::withoutNonSpacingMarks(text); }

std::string StripNormalizer::normalize(std::string_view text) const {
    auto chars = text::characters(text);
    std::size_t first = 0, last = chars.size();
    if (leftStrip_)
        while (first < last && text::isWhiteSpace(text::firstScalar(chars[first]))) ++first;
    if (rightStrip_)
        while (last > first && text::isWhiteSpace(text::firstScalar(chars[last - 1]))) --last;
    if (first >= last) return {};
    std::size_t a = static_cast<std::size_t>(chars[first].data() - text.data());
    std::size_t b = static_cast<std::size_t>(chars[last - 1].data() - text.data()) + chars[last - 1].size();
    return std::string(text.substr(a, b - a));
}

BertNormalizer::BertNormalizer(const Config& config)
    : shouldCleanText_(config["cleanText"].boolean().value_or(true)),
      shouldHandleChineseChars_(config["handleChineseChars"].boolean().value_or(true)),
      shouldLowercase_(config["lowercase"].boolean().value_or(true)) {
    shouldStripAccents_ = config["stripAccents"].boolean().value_or(shouldLowercase_);
}

std::string BertNormalizer::cleanText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::string_view ch : text::characters(text)) {
        char32_t c = text::firstScalar(ch);
        if (c == 0x09 || c == 0x0A || c == 0x0D) {
            out.push_back(' ');
            continue;
        }
        // NUL, replacement characters, controls, format, surrogates, private
        // use and unassigned code points carry no text: drop them.
        int8_t type = u_charType(static_cast<UChar32>(c));
        if (c == 0 || c == 0xFFFD || type == U_CONTROL_CHAR || type == U_FORMAT_CHAR || type == U_SURROGATE ||
            type == U_PRIVATE_USE_CHAR || type == U_UNASSIGNED)
            continue;
        out.append(ch);
    }
    return out;
}

std::string BertNormalizer::handleChineseChars(std::string_view text) { return text::spacedCjkIdeographs(text); }

std::string BertNormalizer::stripAccents(std::string_view text) {
    std::string decomposed = text::nfd(text);
    std::string out;
    out.reserve(decomposed.size());
    for (std::size_t i = 0; i < decomposed.size();) {
        std::size_t start = i;
        char32_t c = platform::decodeUtf8(decomposed, i);
        if (c >= 0x300 && c <= 0x36F) continue;
        out.append(decomposed, start, i - start);
    }
    return out;
}

std::string BertNormalizer::normalize(std::string_view text) const {
    std::string out(text);
    if (shouldCleanText_) out = cleanText(out);
    if (shouldHandleChineseChars_) out = handleChineseChars(out);
    if (shouldStripAccents_) out = stripAccents(out);
    if (shouldLowercase_) out = text::lowercased(out);
    return out;
}

std::string PrecompiledNormalizer::normalize(std::string_view text) const {
    std::string mapped;
    mapped.reserve(text.size());
    bool tilde = false;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t start = i;
        char32_t c = platform::decodeUtf8(text, i);
        if ((c >= 0x01 && c <= 0x08) || c == 0x0B || (c >= 0x0E && c <= 0x1F) || c == 0x7F || c == 0x8F || c == 0x9F) continue;
        if (c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x1680 || (c >= 0x200B && c <= 0x200F) || c == 0x2028 ||
            c == 0x2029 || c == 0x2581 || c == 0xFEFF || c == 0xFFFD) {
            mapped.push_back(' ');
            continue;
        }
        if (c == 0xFF5E) tilde = true;
        mapped.append(text.substr(start, i - start));
    }
    if (!tilde) return text::nfkc(mapped);
    // Every full-width tilde stays where it is; the stretches between them
    // are composed on their own.
    static const std::string kTilde = "\xEF\xBD\x9E";
    std::string out;
    std::size_t p = 0;
    while (true) {
        std::size_t hit = mapped.find(kTilde, p);
        out += text::nfkc(std::string_view(mapped).substr(p, hit == std::string::npos ? std::string::npos : hit - p));
        if (hit == std::string::npos) break;
        out += kTilde;
        p = hit + kTilde.size();
    }
    return out;
}

}  // namespace Tokenizers
