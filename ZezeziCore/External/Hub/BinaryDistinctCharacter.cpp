#include "ZezeziCore/External/Hub/BinaryDistinctCharacter.hpp"

#include <cstdio>

#include "platform/foundation/Unicode.hpp"

namespace ZezeziCore {

BinaryDistinctCharacter::BinaryDistinctCharacter(std::string_view utf8) : bytes_(platform::toUtf16(utf8)) {}

std::string BinaryDistinctCharacter::string() const { return platform::fromUtf16(bytes_); }

std::string BinaryDistinctCharacter::description() const {
    std::string out = "BinaryDistinctCharacter('" + string() + "', bytes: [";
    bool first = true;
    for (char16_t u : bytes_) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "\"0x%02X\"", static_cast<unsigned>(u));
        if (!first) out += ", ";
        out += buf;
        first = false;
    }
    out += "])";
    return out;
}

std::size_t BinaryDistinctCharacter::hash() const {
    return std::hash<std::u16string_view>()(bytes_) ^ (bytes_.size() * 0x9E3779B97F4A7C15ull);
}

}  // namespace ZezeziCore
