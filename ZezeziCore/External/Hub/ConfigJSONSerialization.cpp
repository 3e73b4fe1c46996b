#include "ZezeziCore/External/Hub/ConfigJSONSerialization.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <nlohmann/json.hpp>

#include "platform/foundation/Utf8.hpp"
#include "platform/log/SystemLog.hpp"

namespace ZezeziCore {

std::string JSONSerializationError::description() const {
    return "The data couldn't be read because it isn't in the correct format: " + reason_ + " at byte " +
           std::to_string(offset_) + ".";
}

namespace {

constexpr int kMaxDepth = 512;

const platform::SystemLogger& configLogger() {
    static const platform::SystemLogger logger("qz.tamo.Parlox", "Config");
    return logger;
}

// The power of ten of a valid JSON number's first significant digit, its
// exponent included: 2 for "120" and "1.2e2", -3 for "0.002". Saturates far
// beyond any double; a number without a significant digit gives INT64_MIN.
int64_t decimalMagnitude(const char* p, const char* last) {
    constexpr int64_t kFar = int64_t{1} << 40;
    if (*p == '-') ++p;
    int64_t magnitude = 0;
    bool significant = false;
    for (; p < last && *p >= '0' && *p <= '9'; ++p) {
        if (significant) magnitude = std::min(magnitude + 1, kFar);
        else if (*p != '0') significant = true;
    }
    if (p < last && *p == '.') {
        for (++p; p < last && *p >= '0' && *p <= '9'; ++p) {
            if (significant) continue;
            magnitude = std::max(magnitude - 1, -kFar);
            if (*p != '0') significant = true;
        }
    }
    if (!significant) return INT64_MIN;
    if (p < last && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        int64_t exponent = 0;
        for (; p < last; ++p) exponent = std::min(exponent * 10 + (*p - '0'), kFar);
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude;
}

class Reader {
public:
    Reader(std::string_view s, std::string_view source)
        : p_(reinterpret_cast<const unsigned char*>(s.data())), n_(s.size()), source_(source) {}

    Config document(bool fragmentsAllowed) {
        if (n_ >= 3 && p_[0] == 0xEF && p_[1] == 0xBB && p_[2] == 0xBF) i_ = 3;
        skipSpace();
        if (i_ >= n_) fail("no value");
        if (!fragmentsAllowed && p_[i_] != '{' && p_[i_] != '[') fail("the top level is not an object or an array");
        Config v = value(0);
        skipSpace();
        if (i_ != n_) fail("unexpected text after the value");
        return v;
    }

private:
    [[noreturn]] void fail(const char* reason) const { throw JSONSerializationError(reason, i_); }

    void duplicateKey(const BinaryDistinctString& key, std::size_t offset) const {
        const std::string quoted =
            nlohmann::json(key.string()).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        configLogger().warning("Duplicate key " + quoted + " in " + std::string(source_) + " at byte " +
                               std::to_string(offset) + ": the last value is kept");
    }

    void skipSpace() {
        while (i_ < n_) {
            unsigned char c = p_[i_];
            if (c == ' ' || c == '\n' || c == '\r' || c == '\t')
                ++i_;
            else
                break;
        }
    }

    bool literal(const char* word) {
        std::size_t len = std::char_traits<char>::length(word);
        if (n_ - i_ < len || std::memcmp(p_ + i_, word, len) != 0) return false;
        i_ += len;
        return true;
    }

    Config value(int depth) {
        if (i_ >= n_) fail("unexpected end of data");
        switch (p_[i_]) {
            case '{': return object(depth + 1);
            case '[': return array(depth + 1);
            case '"': return Config(BinaryDistinctString(string()));
            case 't':
                if (literal("true")) return Config(int64_t{1});
                break;
            case 'f':
                if (literal("false")) return Config(int64_t{0});
                break;
            case 'n':
                if (literal("null")) return Config();
                break;
            default:
                if (p_[i_] == '-' || (p_[i_] >= '0' && p_[i_] <= '9')) return number();
        }
        fail("invalid value");
    }

    Config object(int depth) {
        if (depth > kMaxDepth) fail("nesting too deep");
        ++i_;  // '{'
        struct Entry {
            BinaryDistinctString key;
            Config value;
            std::size_t offset;
        };
        std::vector<Entry> entries;
        skipSpace();
        if (i_ < n_ && p_[i_] == '}') {
            ++i_;
            return Config(Config::Dictionary{});
        }
        while (true) {
            skipSpace();
            if (i_ >= n_ || p_[i_] != '"') fail("expected a key");
            const std::size_t keyOffset = i_;
            BinaryDistinctString key(string());
            skipSpace();
            if (i_ >= n_ || p_[i_] != ':') fail("expected ':'");
            ++i_;
            skipSpace();
            Config v = value(depth);
            entries.push_back(Entry{std::move(key), std::move(v), keyOffset});
            skipSpace();
            if (i_ >= n_) fail("unterminated object");
            if (p_[i_] == ',') {
                ++i_;
                continue;
            }
            if (p_[i_] == '}') {
                ++i_;
                break;
            }
            fail("expected ',' or '}'");
        }
        Config::Dictionary d;
        d.reserve(entries.size());
        // A repeated key keeps the later value, as the file readers do; the
        // value it replaces is lost, so say so.
        for (auto& e : entries) {
            auto [it, inserted] = d.try_emplace(std::move(e.key), std::move(e.value));
            if (inserted) continue;
            it->second = std::move(e.value);
            duplicateKey(it->first, e.offset);
        }
        return Config(std::move(d));
    }

    Config array(int depth) {
        if (depth > kMaxDepth) fail("nesting too deep");
        ++i_;  // '['
        Config::Array a;
        skipSpace();
        if (i_ < n_ && p_[i_] == ']') {
            ++i_;
            return Config(std::move(a));
        }
        while (true) {
            skipSpace();
            a.push_back(value(depth));
            skipSpace();
            if (i_ >= n_) fail("unterminated array");
            if (p_[i_] == ',') {
                ++i_;
                continue;
            }
            if (p_[i_] == ']') {
                ++i_;
                break;
            }
            fail("expected ',' or ']'");
        }
        return Config(std::move(a));
    }

    int hex(unsigned char c) const {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    // Emits UTF-16 units directly, so escaped lone surrogates are kept.
    std::u16string string() {
        ++i_;  // opening quote
        std::u16string out;
        while (true) {
            // Plain ASCII run.
            std::size_t start = i_;
            while (i_ < n_) {
                unsigned char c = p_[i_];
                if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) break;
                ++i_;
            }
            out.append(p_ + start, p_ + i_);
            if (i_ >= n_) fail("unterminated string");
            unsigned char c = p_[i_];
            if (c == '"') {
                ++i_;
                return out;
            }
            if (c < 0x20) fail("control character in string");
            if (c == '\\') {
                if (i_ + 1 >= n_) fail("unterminated string");
                unsigned char e = p_[i_ + 1];
                i_ += 2;
                switch (e) {
                    case '"': out.push_back(u'"'); break;
                    case '\\': out.push_back(u'\\'); break;
                    case '/': out.push_back(u'/'); break;
                    case 'b': out.push_back(u'\b'); break;
                    case 'f': out.push_back(u'\f'); break;
                    case 'n': out.push_back(u'\n'); break;
                    case 'r': out.push_back(u'\r'); break;
                    case 't': out.push_back(u'\t'); break;
                    case 'u': {
                        if (n_ - i_ < 4) fail("short \\u escape");
                        int v = 0;
                        for (int k = 0; k < 4; ++k) {
                            int h = hex(p_[i_ + k]);
                            if (h < 0) fail("bad \\u escape");
                            v = v * 16 + h;
                        }
                        i_ += 4;
                        out.push_back(static_cast<char16_t>(v));
                        break;
                    }
                    default:
                        i_ -= 1;
                        fail("bad escape");
                }
                continue;
            }
            // Multi-byte UTF-8, validated.
            // A failure names the sequence's first byte.
            bool valid = true;
            std::size_t next = i_;
            char32_t cp = platform::decodeUtf8(std::string_view(reinterpret_cast<const char*>(p_), n_), next, &valid);
            if (!valid) fail("invalid UTF-8");
            i_ = next;
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
                out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
            } else {
                out.push_back(static_cast<char16_t>(cp));
            }
        }
    }

    Config number() {
        std::size_t start = i_;
        bool whole = true;
        if (p_[i_] == '-') ++i_;
        if (i_ >= n_) fail("invalid number");
        if (p_[i_] == '0') {
            ++i_;
        } else if (p_[i_] >= '1' && p_[i_] <= '9') {
            while (i_ < n_ && p_[i_] >= '0' && p_[i_] <= '9') ++i_;
        } else {
            fail("invalid number");
        }
        if (i_ < n_ && p_[i_] == '.') {
            whole = false;
            ++i_;
            if (i_ >= n_ || p_[i_] < '0' || p_[i_] > '9') fail("invalid number");
            while (i_ < n_ && p_[i_] >= '0' && p_[i_] <= '9') ++i_;
        }
        if (i_ < n_ && (p_[i_] == 'e' || p_[i_] == 'E')) {
            whole = false;
            ++i_;
            if (i_ < n_ && (p_[i_] == '+' || p_[i_] == '-')) ++i_;
            if (i_ >= n_ || p_[i_] < '0' || p_[i_] > '9') fail("invalid number");
            while (i_ < n_ && p_[i_] >= '0' && p_[i_] <= '9') ++i_;
        }
        const char* first = reinterpret_cast<const char*>(p_ + start);
        const char* last = reinterpret_cast<const char*>(p_ + i_);
        if (whole) {
            int64_t v = 0;
            auto r = std::from_chars(first, last, v);
            if (r.ec == std::errc() && r.ptr == last) return Config(v);
            // Beyond 64 bits: a float rather than a wrapped integer.
        }
        double d = 0;
        auto r = std::from_chars(first, last, d);
        if (r.ec == std::errc::result_out_of_range) {
            // Overflow gives infinity, underflow zero.
            const bool negative = *first == '-';
            const bool huge = decimalMagnitude(first, last) > 0;
            d = huge ? (negative ? -HUGE_VAL : HUGE_VAL) : (negative ? -0.0 : 0.0);
        } else if (r.ec != std::errc() || r.ptr != last) {
            fail("invalid number");
        }
        return Config::number(d);
    }

    const unsigned char* p_;
    std::size_t n_;
    std::string_view source_;
    std::size_t i_ = 0;
};

}  // namespace

Config JSONSerialization::bomPreservingJsonObject(std::string_view data, ReadingOptions options) {
    return Reader(data, options.source).document(options.fragmentsAllowed);
}

}  // namespace ZezeziCore
