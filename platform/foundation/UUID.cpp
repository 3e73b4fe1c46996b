#include "platform/foundation/UUID.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include <sys/random.h>

namespace platform {

void randomBytes(void* buffer, size_t size) {
    auto* out = static_cast<unsigned char*>(buffer);
    size_t filled = 0;
    while (filled < size) {
        ssize_t got = getrandom(out + filled, size - filled, 0);
        if (got > 0) {
            filled += static_cast<size_t>(got);
        } else if (got < 0 && errno != EINTR) {
            // No getrandom (very old kernel): the library's source.
            std::random_device device;
            for (; filled < size; ++filled) out[filled] = static_cast<unsigned char>(device());
        }
    }
}

UUID::UUID() {
    randomBytes(bytes_.data(), bytes_.size());
    bytes_[6] = static_cast<uint8_t>((bytes_[6] & 0x0F) | 0x40);  // version 4
    bytes_[8] = static_cast<uint8_t>((bytes_[8] & 0x3F) | 0x80);  // RFC 4122 variant
}

std::string UUID::uuidString() const {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += digits[bytes_[i] >> 4];
        text += digits[bytes_[i] & 0x0F];
    }
    return text;
}

std::optional<UUID> UUID::fromString(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    Bytes bytes{};
    size_t b = 0;
    for (size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        int high = nibble(text[i]);
        int low = nibble(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[b++] = static_cast<uint8_t>(high << 4 | low);
        i += 2;
    }
    return UUID(bytes);
}

}  // namespace platform

size_t std::hash<platform::UUID>::operator()(const platform::UUID& id) const noexcept {
    uint64_t a, b;
    std::memcpy(&a, id.bytes().data(), 8);
    std::memcpy(&b, id.bytes().data() + 8, 8);
    return static_cast<size_t>(a ^ (b * 0x9E3779B97F4A7C15ULL));
}
