// The JSON reader behind every model and tokenizer file: any bytes either
// read or give a JSONSerializationError, and whatever a standard JSON parser
// reads, the reader reads to the same values.
#include <cmath>

#include <nlohmann/json.hpp>

#include "ZezeziCore/External/Hub/ConfigJSONSerialization.hpp"
#include "fuzz/FuzzSupport.hpp"

using ZezeziCore::Config;
using ZezeziCore::JSONSerialization;
using ZezeziCore::JSONSerializationError;
using parlox::fuzzing::violated;

namespace {

// Walks everything a reader of a tokenizer file may ask of a value.
void exercise(const Config& c, int depth = 0) {
    (void)c.hash();
    (void)c.string();
    (void)c.integer();
    (void)c.floating();
    (void)c.boolean();
    (void)c.get();
    (void)c.token();
    if (!(c == c)) violated("a value differs from itself: " + c.description());
    if (depth > 64) return;
    if (auto d = c.dictionary()) {
        for (const auto& [key, value] : *d) {
            (void)Config::uncamelCase(key);
            (void)key.string();
            if (!(c[key] == value)) violated("a member is not found by its own key");
            exercise(value, depth + 1);
        }
    }
    if (auto a = c.array())
        for (const auto& e : *a) exercise(e, depth + 1);
}

// Float results may differ by one unit where a huge integer is rounded to
// float through double on one road and directly on the other.
bool sameValue(const Config& a, const Config& b) {
    using K = Config::Kind;
    if (a.kind() == K::floating && b.kind() == K::floating) {
        const float x = *a.floating(), y = *b.floating();
        return x == y || std::nextafter(x, y) == y;
    }
    if (a.kind() != b.kind()) return false;
    if (a.kind() == K::dictionary) {
        const auto& da = *a.dictionary();
        const auto& db = *b.dictionary();
        if (da.size() != db.size()) return false;
        for (const auto& [k, v] : da) {
            auto it = db.find(k);
            if (it == db.end() || !sameValue(v, it->second)) return false;
        }
        return true;
    }
    if (a.kind() == K::array) {
        const auto& xa = *a.array();
        const auto& xb = *b.array();
        if (xa.size() != xb.size()) return false;
        for (size_t i = 0; i < xa.size(); ++i)
            if (!sameValue(xa[i], xb[i])) return false;
        return true;
    }
    return a == b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = parlox::fuzzing::bytes(data, size);
    std::optional<Config> read;
    std::string refusal;
    try {
        read = JSONSerialization::bomPreservingJsonObject(text, {.fragmentsAllowed = true, .source = "fuzz input"});
        exercise(*read);
        (void)read->description();
        (void)read->encode().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    } catch (const JSONSerializationError& e) {
        refusal = e.reason();
        if (e.offset() > text.size()) violated("error offset beyond the input");
    }
    try {
        const Config strict = JSONSerialization::bomPreservingJsonObject(text);
        const auto kind = strict.kind();
        if (kind != Config::Kind::dictionary && kind != Config::Kind::array)
            violated("a fragment read without fragmentsAllowed");
    } catch (const JSONSerializationError&) {
    }

    // The reference parser stops at a NUL byte as at the end of the input.
    if (text.find('\0') != std::string_view::npos) return 0;
    const nlohmann::json standard = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (standard.is_discarded()) return 0;
    if (!read) {
        if (refusal != "nesting too deep") violated("refused a JSON document: " + refusal);
        return 0;
    }
    if (!sameValue(*read, Config::convertToBinaryDistinctKeys(standard)))
        violated("read " + read->description() + ", a JSON parser reads " + standard.dump());
    return 0;
}
