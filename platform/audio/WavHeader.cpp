#include "platform/audio/WavHeader.hpp"

#include <cstring>
#include <fstream>

namespace platform::audio {

namespace {

uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

constexpr uint16_t kPcm = 1;
constexpr uint16_t kFloat = 3;
constexpr uint16_t kExtensible = 0xFFFE;

}  // namespace

std::optional<int64_t> WavHeader::declaredFrames() const {
    const bool fixedFrames = formatTag == kPcm || formatTag == kFloat || formatTag == kExtensible;
    if (!fixedFrames || blockAlign == 0 || dataBytes == 0 || dataBytes == 0xFFFFFFFFu) return std::nullopt;
    return dataBytes / blockAlign;
}

std::optional<WavHeader> WavHeader::read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char riff[12];
    if (!in.read(reinterpret_cast<char*>(riff), 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        return std::nullopt;
    WavHeader header;
    bool haveFormat = false;
    uint64_t offset = 12;
    // A bounded walk: a damaged header cannot keep us here.
    for (int chunk = 0; chunk < 64; ++chunk) {
        unsigned char head[8];
        if (!in.seekg(static_cast<std::streamoff>(offset)) || !in.read(reinterpret_cast<char*>(head), 8)) break;
        const uint32_t size = le32(head + 4);
        if (std::memcmp(head, "fmt ", 4) == 0 && size >= 16) {
            unsigned char fmt[16];
            if (!in.read(reinterpret_cast<char*>(fmt), 16)) break;
            header.formatTag = le16(fmt);
            header.channels = le16(fmt + 2);
            header.sampleRate = le32(fmt + 4);
            header.blockAlign = le16(fmt + 12);
            haveFormat = true;
        } else if (std::memcmp(head, "data", 4) == 0) {
            if (!haveFormat) break;
            header.dataBytes = size;
            header.dataOffset = offset + 8;
            return header;
        }
        offset += 8 + static_cast<uint64_t>(size) + (size & 1);  // chunks are padded to even sizes
    }
    return std::nullopt;
}

}  // namespace platform::audio
