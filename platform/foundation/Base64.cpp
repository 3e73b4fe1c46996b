#include "platform/foundation/Base64.hpp"

#include <openssl/evp.h>

#include <algorithm>
#include <cstddef>
#include <limits>

namespace platform {

std::string base64Encoded(std::string_view bytes) {
    // EVP_EncodeBlock takes an int length: feed it whole groups of three bytes
    // at a time so the padding only ever comes at the very end.
    constexpr std::size_t chunk = (std::numeric_limits<int>::max() / 4) / 3 * 3;
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        const std::size_t size = std::min(chunk, bytes.size() - at);
        const std::size_t start = out.size();
        out.resize(start + (size + 2) / 3 * 4 + 1);  // the encoder ends with a NUL
        const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data() + start),
                                            reinterpret_cast<const unsigned char*>(bytes.data() + at),
                                            static_cast<int>(size));
        out.resize(start + static_cast<std::size_t>(written));
    }
    return out;
}

}  // namespace platform
