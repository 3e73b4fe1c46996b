#include "ZezeziCore/External/Tokenizers/ByteEncoder.hpp"

#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "platform/foundation/Utf8.hpp"

namespace Tokenizers {

namespace {

struct Tables {
    std::array<char32_t, 256> scalarOfByte{};
    std::array<int16_t, 0x144> byteOfScalar{};
    std::array<std::string, 256> encoder;
    std::unordered_map<std::string, uint8_t> decoder;

    Tables() {
        byteOfScalar.fill(-1);
        auto printable = [](int b) { return (b >= 0x21 && b <= 0x7E) || (b >= 0xA1 && b <= 0xAC) || (b >= 0xAE && b <= 0xFF); };
        char32_t next = 0x100;
        for (int b = 0; b < 256; ++b) scalarOfByte[b] = printable(b) ? static_cast<char32_t>(b) : next++;
        for (int b = 0; b < 256; ++b) {
            byteOfScalar[scalarOfByte[b]] = static_cast<int16_t>(b);
            platform::appendUtf8(encoder[b], scalarOfByte[b]);
            decoder.emplace(encoder[b], static_cast<uint8_t>(b));
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

}  // namespace

const std::array<std::string, 256>& byteEncoder() { return tables().encoder; }

const std::unordered_map<std::string, uint8_t>& byteDecoder() { return tables().decoder; }

int byteOfScalar(char32_t scalar) {
    if (scalar >= 0x144) return -1;
    return tables().byteOfScalar[scalar];
}

std::string byteLevelEncode(std::string_view s) {
    std::string out;
    appendByteLevelEncoded(out, s);
    return out;
}

void appendByteLevelEncoded(std::string& out, std::string_view s) {
    // Every byte maps to one or two bytes of UTF-8: write them straight in.
    const auto& enc = tables().encoder;
    const std::size_t start = out.size();
    out.resize(start + s.size() * 2);
    char* p = out.data() + start;
    for (unsigned char c : s) {
        const std::string& e = enc[c];
        p[0] = e[0];
        if (e.size() == 2) p[1] = e[1];
        p += e.size();
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

}  // namespace Tokenizers
