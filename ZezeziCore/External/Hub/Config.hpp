#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "ZezeziCore/External/Hub/BinaryDistinctString.hpp"

namespace ZezeziCore {

// The in-memory form of a model or tokenizer JSON file. Immutable once built;
// dictionaries and arrays are shared between copies, so a lookup such as
// cfg["model"]["vocab"] costs a reference count, never a copy of the vocabulary.
//
// Lookups never fail: a missing key, or a lookup on something that is not a
// dictionary, gives null. Readings give std::nullopt (or nullptr) for a value
// of another kind; the caller picks the default.
class Config {
public:
    struct Null {
        friend bool operator==(Null, Null) { return true; }
    };
    struct Token {
        uint64_t id = 0;
        BinaryDistinctString text;
        friend bool operator==(const Token&, const Token&) = default;
    };
    using Dictionary = std::unordered_map<BinaryDistinctString, Config>;
    using Array = std::vector<Config>;
    // Case order matters: kind numbers follow it.
    using Data = std::variant<BinaryDistinctString, int64_t, bool, float, std::shared_ptr<const Dictionary>,
                              std::shared_ptr<const Array>, Token, Null>;
    enum class Kind { string, integer, boolean, floating, dictionary, array, token, null };

    Config() : value_(Null{}) {}
    Config(std::nullptr_t) : value_(Null{}) {}
    Config(bool b) : value_(b) {}
    Config(int i) : value_(int64_t{i}) {}
    Config(long i) : value_(int64_t{i}) {}
    Config(long long i) : value_(int64_t{i}) {}
    Config(float f) : value_(f) {}
    Config(double d) : value_(static_cast<float>(d)) {}
    Config(const char* s) : value_(BinaryDistinctString(s)) {}
    Config(std::string_view s) : value_(BinaryDistinctString(s)) {}
    Config(const std::string& s) : value_(BinaryDistinctString(s)) {}
    Config(BinaryDistinctString s) : value_(std::move(s)) {}
    Config(Token t) : value_(std::move(t)) {}
    Config(Array a) : value_(std::make_shared<const Array>(std::move(a))) {}
    Config(Dictionary d) : value_(std::make_shared<const Dictionary>(std::move(d))) {}
    Config(std::shared_ptr<const Array> a) : value_(a ? Data(std::move(a)) : Data(std::make_shared<const Array>())) {}
    Config(std::shared_ptr<const Dictionary> d)
        : value_(d ? Data(std::move(d)) : Data(std::make_shared<const Dictionary>())) {}

    // Literal forms. A repeated key keeps the later value.
    static Config array(std::initializer_list<Config> elements) { return Config(Array(elements)); }
    static Config dictionary(std::initializer_list<std::pair<BinaryDistinctString, Config>> pairs);

    // A parsed JSON value, under the file reader's number rules: true and
    // false are integers 1 and 0, whole numbers that fit 64 bits are integers
    // (3.0 too), other numbers single-precision floats.
    static Config convertToBinaryDistinctKeys(const nlohmann::json& value);
    // A JSON number as the file reader stores it.
    static Config number(double value);
    static Config convertToBinaryDistinctKeys(const Config& value) { return value; }

    const Data& data() const { return value_; }
    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool isNull() const { return kind() == Kind::null; }

    // Exact key, then its snake_case form; null when neither is there or when
    // this is not a dictionary.
    Config operator[](std::string_view name) const;
    Config operator[](const char* name) const { return (*this)[std::string_view(name)]; }
    Config operator[](const std::string& name) const { return (*this)[std::string_view(name)]; }
    Config operator[](const BinaryDistinctString& key) const;
    // As operator[], but absent when this is not a dictionary (a missing member
    // of a dictionary is null, present).
    std::optional<Config> member(std::string_view name) const;

    static BinaryDistinctString uncamelCase(const BinaryDistinctString& key);

    std::optional<std::string> string() const;
    // The exact units of a string value.
    const BinaryDistinctString* binaryDistinctString() const;
    std::optional<int64_t> integer() const;
    std::optional<float> floating() const;
    std::optional<bool> boolean() const;
    std::shared_ptr<const Array> array() const;
    std::shared_ptr<const Dictionary> dictionary() const;
    // The texts of the string elements of an array, others skipped.
    std::optional<std::vector<std::string>> get() const;
    // A token, or a [text, id] array with a non-negative id.
    std::optional<std::pair<uint64_t, std::string>> token() const;

    std::string description() const;

    friend bool operator==(const Config& a, const Config& b);
    std::size_t hash() const;

    // Encoding to and decoding from a JSON value; decoding never fails.
    nlohmann::json encode() const;
    static Config decode(const nlohmann::json& value);

private:
    Data value_;
};

bool operator==(const Config& a, const Config& b);

}  // namespace ZezeziCore

template <>
struct std::hash<ZezeziCore::Config> {
    std::size_t operator()(const ZezeziCore::Config& c) const noexcept { return c.hash(); }
};
