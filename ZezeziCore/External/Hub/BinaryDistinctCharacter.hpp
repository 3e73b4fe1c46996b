#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ZezeziCore {

// The UTF-16 units of one character (or any units given), compared and
// hashed by those units alone.
class BinaryDistinctCharacter {
public:
    BinaryDistinctCharacter() = default;
    // From UTF-8 text, taken whole (not split into characters).
    BinaryDistinctCharacter(std::string_view utf8);
    BinaryDistinctCharacter(const char* utf8) : BinaryDistinctCharacter(std::string_view(utf8)) {}
    explicit BinaryDistinctCharacter(std::u16string bytes) : bytes_(std::move(bytes)) {}

    const std::u16string& bytes() const { return bytes_; }
    std::string string() const;
    // BinaryDistinctCharacter('A', bytes: ["0x41"])
    std::string description() const;

    friend bool operator==(const BinaryDistinctCharacter&, const BinaryDistinctCharacter&) = default;
    std::size_t hash() const;

private:
    std::u16string bytes_;
};

}  // namespace ZezeziCore

template <>
struct std::hash<ZezeziCore::BinaryDistinctCharacter> {
    std::size_t operator()(const ZezeziCore::BinaryDistinctCharacter& c) const noexcept { return c.hash(); }
};
