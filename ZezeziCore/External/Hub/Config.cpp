#include "ZezeziCore/External/Hub/Config.hpp"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/foundation/NumberFormat.hpp"

namespace ZezeziCore {

namespace {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

std::size_t combine(std::size_t seed, std::size_t v) {
    return seed ^ (v + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2));
}

std::optional<bool> booleanOfText(const BinaryDistinctString& s) {
    std::string lower = s.lowercased().string();
    if (lower == "true" || lower == "t" || lower == "1") return true;
    if (lower == "false" || lower == "f" || lower == "0") return false;
    return std::nullopt;
}

// Beyond the signed range a whole number becomes a float, not a wrapped integer.
Config unsignedNumber(uint64_t u) {
    if (u <= static_cast<uint64_t>(INT64_MAX)) return Config(static_cast<int64_t>(u));
    return Config(static_cast<float>(u));
}

}  // namespace

Config Config::dictionary(std::initializer_list<std::pair<BinaryDistinctString, Config>> pairs) {
    Dictionary d;
    d.reserve(pairs.size());
    for (const auto& [k, v] : pairs) d.insert_or_assign(k, v);
    return Config(std::move(d));
}

Config Config::convertToBinaryDistinctKeys(const nlohmann::json& v) {
    switch (v.type()) {
        case nlohmann::json::value_t::object: {
            Dictionary d;
            d.reserve(v.size());
            for (auto it = v.begin(); it != v.end(); ++it) d.insert_or_assign(BinaryDistinctString(it.key()), convertToBinaryDistinctKeys(it.value()));
            return Config(std::move(d));
        }
        case nlohmann::json::value_t::array: {
            Array a;
            a.reserve(v.size());
            for (const auto& e : v) a.push_back(convertToBinaryDistinctKeys(e));
            return Config(std::move(a));
        }
        case nlohmann::json::value_t::string:
            return Config(BinaryDistinctString(v.get_ref<const std::string&>()));
        case nlohmann::json::value_t::boolean:
            return Config(int64_t{v.get<bool>() ? 1 : 0});
        case nlohmann::json::value_t::number_integer:
            return Config(static_cast<int64_t>(v.get<int64_t>()));
        case nlohmann::json::value_t::number_unsigned:
            return unsignedNumber(v.get<uint64_t>());
        case nlohmann::json::value_t::number_float:
            return number(v.get<double>());
        default:
            return Config();
    }
}

Config Config::number(double d) {
    if (std::isfinite(d) && d == std::floor(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
        return Config(static_cast<int64_t>(d));
    return Config(static_cast<float>(d));
}

Config Config::operator[](const BinaryDistinctString& key) const {
    const auto* d = std::get_if<std::shared_ptr<const Dictionary>>(&value_);
    if (!d) return Config();
    const Dictionary& dict = **d;
    if (auto it = dict.find(key); it != dict.end()) return it->second;
    if (auto it = dict.find(uncamelCase(key)); it != dict.end()) return it->second;
    return Config();
}

Config Config::operator[](std::string_view name) const {
    if (kind() != Kind::dictionary) return Config();
    return (*this)[BinaryDistinctString(name)];
}

std::optional<Config> Config::member(std::string_view name) const {
    if (kind() != Kind::dictionary) return std::nullopt;
    return (*this)[BinaryDistinctString(name)];
}

BinaryDistinctString Config::uncamelCase(const BinaryDistinctString& key) {
    const std::u16string& in = key.value();
    std::u16string out;
    out.reserve(in.size() + 4);
    bool previousNotUpper = false;
    for (std::size_t i = 0; i < in.size();) {
        UChar32 c;
        std::size_t start = i;
        U16_NEXT(in.data(), i, in.size(), c);
        int8_t type = u_charType(c);
        if (type == U_UPPERCASE_LETTER || type == U_TITLECASE_LETTER) {
            if (previousNotUpper) out.push_back(u'_');
            UChar buf[16];
            UErrorCode status = U_ZERO_ERROR;
            int32_t n = u_strToLower(buf, 16, in.data() + start, static_cast<int32_t>(i - start), "", &status);
            if (U_SUCCESS(status))
                out.append(reinterpret_cast<const char16_t*>(buf), static_cast<std::size_t>(n));
            else
                out.append(in, start, i - start);
            previousNotUpper = false;
        } else {
            out.append(in, start, i - start);
            previousNotUpper = true;
        }
    }
    return BinaryDistinctString(std::move(out));
}

std::optional<std::string> Config::string() const {
    if (const auto* s = std::get_if<BinaryDistinctString>(&value_)) return s->string();
    return std::nullopt;
}

const BinaryDistinctString* Config::binaryDistinctString() const { return std::get_if<BinaryDistinctString>(&value_); }

std::optional<int64_t> Config::integer() const {
    if (const auto* i = std::get_if<int64_t>(&value_)) return *i;
    return std::nullopt;
}

std::optional<float> Config::floating() const {
    if (const auto* f = std::get_if<float>(&value_)) return *f;
    if (const auto* i = std::get_if<int64_t>(&value_)) return static_cast<float>(*i);
    return std::nullopt;
}

std::optional<bool> Config::boolean() const {
    if (const auto* b = std::get_if<bool>(&value_)) return *b;
    if (const auto* i = std::get_if<int64_t>(&value_)) return *i == 1;
    if (const auto* s = std::get_if<BinaryDistinctString>(&value_)) return booleanOfText(*s);
    return std::nullopt;
}

std::shared_ptr<const Config::Array> Config::array() const {
    if (const auto* a = std::get_if<std::shared_ptr<const Array>>(&value_)) return *a;
    return nullptr;
}

std::shared_ptr<const Config::Dictionary> Config::dictionary() const {
    if (const auto* d = std::get_if<std::shared_ptr<const Dictionary>>(&value_)) return *d;
    return nullptr;
}

std::optional<std::vector<std::string>> Config::get() const {
    auto a = array();
    if (!a) return std::nullopt;
    std::vector<std::string> out;
    for (const auto& e : *a)
        if (auto s = e.string()) out.push_back(std::move(*s));
    return out;
}

std::optional<std::pair<uint64_t, std::string>> Config::token() const {
    if (const auto* t = std::get_if<Token>(&value_)) return std::make_pair(t->id, t->text.string());
    auto a = array();
    if (!a || a->size() != 2) return std::nullopt;
    auto text = (*a)[0].string();
    auto id = (*a)[1].integer();
    if (!text || !id || *id < 0) return std::nullopt;
    return std::make_pair(static_cast<uint64_t>(*id), std::move(*text));
}

std::string Config::description() const {
    return std::visit(
        Overloaded{
            [](const BinaryDistinctString& s) { return "\"" + s.string() + "\""; },
            [](int64_t i) { return std::to_string(i); },
            [](bool b) { return std::string(b ? "true" : "false"); },
            [](float f) { return platform::formatShortest(f); },
            [](const std::shared_ptr<const Dictionary>& d) {
                if (d->empty()) return std::string("{[:]}");
                std::string out = "{[";
                bool first = true;
                for (const auto& [k, v] : *d) {
                    if (!first) out += ", ";
                    out += k.string() + ": " + v.description();
                    first = false;
                }
                return out + "]}";
            },
            [](const std::shared_ptr<const Array>& a) {
                std::string out = "[[";
                bool first = true;
                for (const auto& e : *a) {
                    if (!first) out += ", ";
                    out += e.description();
                    first = false;
                }
                return out + "]]";
            },
            [](const Token& t) { return "(" + std::to_string(t.id) + ", " + t.text.string() + ")"; },
            [](const Null&) { return std::string("null"); },
        },
        value_);
}

bool operator==(const Config& a, const Config& b) {
    using K = Config::Kind;
    const K ka = a.kind(), kb = b.kind();
    if (ka == K::string && kb == K::string) return *a.binaryDistinctString() == *b.binaryDistinctString();
    if (ka == K::string && kb == K::boolean) {
        auto r = a.boolean();
        return r && *r == std::get<bool>(b.data());
    }
    if (ka == K::boolean && kb == K::string) return b == a;
    if (ka == K::integer && kb == K::integer) return *a.integer() == *b.integer();
    if (ka == K::integer && kb == K::floating)
        return static_cast<float>(*a.integer()) == std::get<float>(b.data());
    if (ka == K::floating && kb == K::integer) return b == a;
    if (ka == K::integer && kb == K::boolean) return (*a.integer() == 1) == std::get<bool>(b.data());
    if (ka == K::boolean && kb == K::integer) return b == a;
    if (ka == K::boolean && kb == K::boolean) return std::get<bool>(a.data()) == std::get<bool>(b.data());
    if (ka == K::floating && kb == K::floating) return std::get<float>(a.data()) == std::get<float>(b.data());
    if (ka == K::dictionary && kb == K::dictionary) {
        const auto& da = *a.dictionary();
        const auto& db = *b.dictionary();
        if (&da == &db) return true;
        if (da.size() != db.size()) return false;
        for (const auto& [k, v] : da) {
            auto it = db.find(k);
            if (it == db.end() || !(v == it->second)) return false;
        }
        return true;
    }
    if (ka == K::array && kb == K::array) {
        const auto& xa = *a.array();
        const auto& xb = *b.array();
        if (&xa == &xb) return true;
        if (xa.size() != xb.size()) return false;
        for (std::size_t i = 0; i < xa.size(); ++i)
            if (!(xa[i] == xb[i])) return false;
        return true;
    }
    if (ka == K::token && kb == K::token) return std::get<Config::Token>(a.data()) == std::get<Config::Token>(b.data());
    return ka == K::null && kb == K::null;
}

std::size_t Config::hash() const {
    std::size_t kindNumber = 0;
    switch (kind()) {
        case Kind::null: kindNumber = 0; break;
        case Kind::string: kindNumber = 1; break;
        case Kind::integer: kindNumber = 2; break;
        case Kind::boolean: kindNumber = 3; break;
        case Kind::floating: kindNumber = 4; break;
        case Kind::dictionary: kindNumber = 5; break;
        case Kind::array: kindNumber = 6; break;
        case Kind::token: kindNumber = 7; break;
    }
    std::size_t h = std::hash<std::size_t>()(kindNumber);
    std::visit(Overloaded{
                   [&](const BinaryDistinctString& s) { h = combine(h, s.hash()); },
                   [&](int64_t i) { h = combine(h, std::hash<int64_t>()(i)); },
                   [&](bool b) { h = combine(h, b ? 1 : 0); },
                   [&](float f) {
                       if (f == 0.0f) f = 0.0f;  // negative zero hashes as zero
                       uint32_t bits;
                       std::memcpy(&bits, &f, sizeof bits);
                       h = combine(h, bits);
                   },
                   [&](const std::shared_ptr<const Dictionary>& d) {
                       std::size_t sum = 0;  // order-independent
                       for (const auto& [k, v] : *d) sum += combine(k.hash(), v.hash());
                       h = combine(h, sum);
                   },
                   [&](const std::shared_ptr<const Array>& a) {
                       for (const auto& e : *a) h = combine(h, e.hash());
                   },
                   [&](const Token& t) { h = combine(combine(h, std::hash<uint64_t>()(t.id)), t.text.hash()); },
                   [&](const Null&) {},
               },
               value_);
    return h;
}

nlohmann::json Config::encode() const {
    return std::visit(
        Overloaded{
            [](const BinaryDistinctString& s) { return nlohmann::json(s.string()); },
            [](int64_t i) { return nlohmann::json(i); },
            [](bool b) { return nlohmann::json(b); },
            [](float f) {
                // The double nearest the float's shortest text, so 0.1f writes as 0.1.
                if (!std::isfinite(f)) return nlohmann::json(nullptr);
                std::string s = platform::formatShortest(f);
                double d = 0;
                std::from_chars(s.data(), s.data() + s.size(), d);
                return nlohmann::json(d);
            },
            [](const std::shared_ptr<const Dictionary>& d) {
                nlohmann::json o = nlohmann::json::object();
                for (const auto& [k, v] : *d) o[k.string()] = v.encode();
                return o;
            },
            [](const std::shared_ptr<const Array>& a) {
                nlohmann::json o = nlohmann::json::array();
                for (const auto& e : *a) o.push_back(e.encode());
                return o;
            },
            [](const Token& t) { return nlohmann::json::array({t.id, t.text.string()}); },
            [](const Null&) { return nlohmann::json(nullptr); },
        },
        value_);
}

Config Config::decode(const nlohmann::json& v) {
    switch (v.type()) {
        case nlohmann::json::value_t::null:
            return Config();
        case nlohmann::json::value_t::number_integer:
            return Config(static_cast<int64_t>(v.get<int64_t>()));
        case nlohmann::json::value_t::number_unsigned:
            return unsignedNumber(v.get<uint64_t>());
        case nlohmann::json::value_t::number_float: {
            double d = v.get<double>();
            // An integer reading succeeds for whole numbers that fit.
            if (std::isfinite(d) && d == std::floor(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
                return Config(static_cast<int64_t>(d));
            return Config(static_cast<float>(d));
        }
        case nlohmann::json::value_t::boolean:
            return Config(v.get<bool>());
        case nlohmann::json::value_t::string:
            return Config(BinaryDistinctString(v.get_ref<const std::string&>()));
        case nlohmann::json::value_t::array: {
            if (v.size() == 2 && v[0].is_number_unsigned() && v[1].is_string())
                return Config(Token{v[0].get<uint64_t>(), BinaryDistinctString(v[1].get_ref<const std::string&>())});
            if (v.size() == 2 && v[0].is_number_integer() && v[0].get<int64_t>() >= 0 && v[1].is_string())
                return Config(Token{static_cast<uint64_t>(v[0].get<int64_t>()),
                                    BinaryDistinctString(v[1].get_ref<const std::string&>())});
            Array a;
            a.reserve(v.size());
            for (const auto& e : v) a.push_back(decode(e));
            return Config(std::move(a));
        }
        case nlohmann::json::value_t::object: {
            Dictionary d;
            d.reserve(v.size());
            for (auto it = v.begin(); it != v.end(); ++it) d.insert_or_assign(BinaryDistinctString(it.key()), decode(it.value()));
            return Config(std::move(d));
        }
        default:
            return Config();
    }
}

}  // namespace ZezeziCore
