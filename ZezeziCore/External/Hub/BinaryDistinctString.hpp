#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ZezeziCore/External/Hub/BinaryDistinctCharacter.hpp"

namespace ZezeziCore {

// A text held as its exact UTF-16 code units. Equality, order and hash look at
// the units only: no normalisation, no case folding, no byte-order-mark
// stripping, so vocabulary keys such as "\uFEFFabc" and "abc", or U+00E9 and
// "e\u0301", stay distinct.
class BinaryDistinctString {
public:
    BinaryDistinctString() = default;
    // Raw units, kept as given (unpaired surrogates included).
    explicit BinaryDistinctString(std::u16string units) : value_(std::move(units)) {}
    // From UTF-8 text; ill-formed sequences become U+FFFD.
    BinaryDistinctString(std::string_view utf8);
    BinaryDistinctString(const char* utf8) : BinaryDistinctString(std::string_view(utf8)) {}
    BinaryDistinctString(const std::string& utf8) : BinaryDistinctString(std::string_view(utf8)) {}
    explicit BinaryDistinctString(const BinaryDistinctCharacter& character) : value_(character.bytes()) {}
    explicit BinaryDistinctString(const std::vector<BinaryDistinctCharacter>& characters);

    static BinaryDistinctString fromUnits(std::u16string_view units) { return BinaryDistinctString(std::u16string(units)); }

    const std::u16string& value() const { return value_; }
    std::u16string_view units() const { return value_; }
    bool empty() const { return value_.empty(); }

    // UTF-8 form; unpaired surrogates come out as U+FFFD.
    std::string string() const;
    std::string description() const { return string(); }

    // Characters (extended grapheme clusters), not units.
    int64_t count() const;
    int64_t startIndex() const { return 0; }
    int64_t endIndex() const { return count(); }

    bool hasPrefix(const BinaryDistinctString& prefix) const;
    bool hasSuffix(const BinaryDistinctString& suffix) const;
    BinaryDistinctString lowercased() const;
    // Literal search over the units; an empty pattern changes nothing.
    BinaryDistinctString replacingOccurrences(const BinaryDistinctString& of, const BinaryDistinctString& with) const;

    // Throws std::out_of_range("Index out of bounds") outside 0...count.
    int64_t index(int64_t i, int64_t offsetBy) const;
    std::optional<int64_t> index(int64_t i, int64_t offsetBy, int64_t limitedBy) const;

    // Slices by positions counted in Unicode scalar values; throws
    // std::out_of_range("Index out of bounds") for lower < 0, lower > upper or
    // upper beyond the scalar count.
    BinaryDistinctString slice(int64_t lower, int64_t upper) const;
    BinaryDistinctString slice(int64_t lower) const;

    // The characters in order, each with its own units.
    std::vector<BinaryDistinctCharacter> characters() const;

    friend BinaryDistinctString operator+(const BinaryDistinctString& a, const BinaryDistinctString& b) {
        return BinaryDistinctString(a.value_ + b.value_);
    }
    friend bool operator==(const BinaryDistinctString& a, const BinaryDistinctString& b) {
        return a.value_.size() == b.value_.size() && a.value_ == b.value_;
    }
    // char16_t is unsigned, so this is the order of the units as unsigned numbers.
    friend std::strong_ordering operator<=>(const BinaryDistinctString& a, const BinaryDistinctString& b) {
        return a.value_.compare(b.value_) <=> 0;
    }

    std::size_t hash() const;

private:
    std::u16string value_;
};

// The units of a map keyed by text converted to BinaryDistinctString keys and
// merged; where a key is present already (or two incoming keys convert to the
// same units) `strategy(current, incoming)` gives the value kept.
template <class Map, class Other, class Strategy>
void merge(Map& map, const Other& other, Strategy strategy) {
    for (const auto& [key, value] : other) {
        BinaryDistinctString converted(key);
        auto it = map.find(converted);
        if (it == map.end())
            map.emplace(std::move(converted), value);
        else
            it->second = strategy(it->second, value);
    }
}

template <class Map, class Other, class Strategy>
Map merging(const Map& map, const Other& other, Strategy strategy) {
    Map copy = map;
    merge(copy, other, strategy);
    return copy;
}

}  // namespace ZezeziCore

template <>
struct std::hash<ZezeziCore::BinaryDistinctString> {
    std::size_t operator()(const ZezeziCore::BinaryDistinctString& s) const noexcept { return s.hash(); }
};
