#include "platform/audio/CutShortFile.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace platform::audio {

namespace {

uint32_t littleEndian32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

bool wavCutShort(std::ifstream& in, uint64_t fileSize) {
    uint64_t at = 12;
    unsigned char header[8];
    while (at + 8 <= fileSize) {
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(header), 8)) return false;
        const uint32_t size = littleEndian32(header + 4);
        if (std::memcmp(header, "data", 4) == 0) {
            // Streaming writers leave the size open (0 or all ones).
            if (size == 0 || size == 0xFFFFFFFFu) return false;
            return at + 8 + size > fileSize;
        }
        at += 8 + size + (size & 1);
    }
    return at != fileSize;  // a chunk cut in two before the data
}

bool oggCutShort(std::ifstream& in, uint64_t fileSize) {
    // The last page starts within the last 64 KiB (a page holds at most 65307 bytes).
    const uint64_t tail = std::min<uint64_t>(fileSize, 65536 + 282);
    std::vector<unsigned char> bytes(tail);
    in.seekg(static_cast<std::streamoff>(fileSize - tail));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(tail))) return false;
    for (size_t i = bytes.size() >= 4 ? bytes.size() - 4 : 0;; --i) {
        if (std::memcmp(bytes.data() + i, "OggS", 4) == 0) {
            if (i + 27 > bytes.size()) return true;
            const size_t segments = bytes[i + 26];
            if (i + 27 + segments > bytes.size()) return true;
            size_t body = 0;
            for (size_t s = 0; s < segments; ++s) body += bytes[i + 27 + s];
            const bool complete = i + 27 + segments + body <= bytes.size();
            const bool last = (bytes[i + 5] & 0x04) != 0;
            return !complete || !last;
        }
        if (i == 0) return true;
    }
}

}  // namespace

bool isCutShort(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    if (end < 12) return false;
    const auto fileSize = static_cast<uint64_t>(end);
    unsigned char magic[12];
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(magic), 12)) return false;
    if (std::memcmp(magic, "RIFF", 4) == 0 && std::memcmp(magic + 8, "WAVE", 4) == 0) return wavCutShort(in, fileSize);
    if (std::memcmp(magic, "OggS", 4) == 0) return oggCutShort(in, fileSize);
    return false;
}

}  // namespace platform::audio
