#include "DovuzudUza/Utilities/TextUtilities.hpp"

#include <zlib.h>

#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "DovuzudUza/Core/EngineLog.hpp"

namespace DovuzudUza::TextUtilities {

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

// Length of the raw DEFLATE stream (no zlib header or checksum) of the
// bytes at the default level, or nothing with the reason logged.
std::optional<size_t> deflatedLength(const unsigned char* bytes, size_t count) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        engine_log::debug(std::string("Compression error: ") + (stream.msg ? stream.msg : "cannot start the compressor"));
        return std::nullopt;
    }
    std::vector<unsigned char> out(deflateBound(&stream, static_cast<uLong>(count)));
    stream.next_in = const_cast<unsigned char*>(bytes);
    stream.avail_in = static_cast<uInt>(count);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    const size_t length = out.size() - stream.avail_out;
    const std::string reason = stream.msg ? stream.msg : "the compressed data did not fit";
    deflateEnd(&stream);
    if (status != Z_STREAM_END) {
        engine_log::debug("Compression error: " + reason);
        return std::nullopt;
    }
    return length;
}

float ratio(size_t original, size_t compressed) {
    return static_cast<float>(original) / static_cast<float>(compressed);
}

}  // namespace

float compressionRatio(std::string_view text) {
    if (text.empty()) return kInfinity;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const auto length = deflatedLength(bytes, text.size());
    return length ? ratio(text.size(), *length) : kInfinity;
}

float compressionRatio(std::span<const int64_t> tokens) {
    if (tokens.empty()) return 0;
    std::vector<unsigned char> bytes(tokens.size() * 4);
    for (size_t i = 0; i < tokens.size(); ++i) {
        const int64_t id = tokens[i];
        if (id < std::numeric_limits<int32_t>::min() || id > std::numeric_limits<int32_t>::max()) {
            engine_log::debug("Compression error: token id " + std::to_string(id) + " does not fit 32 bits");
            return kInfinity;
        }
        const auto value = static_cast<uint32_t>(static_cast<int32_t>(id));
        for (int b = 0; b < 4; ++b) bytes[i * 4 + static_cast<size_t>(b)] = static_cast<unsigned char>(value >> (8 * b));
    }
    const auto length = deflatedLength(bytes.data(), bytes.size());
    return length ? ratio(bytes.size(), *length) : kInfinity;
}

}  // namespace DovuzudUza::TextUtilities
