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

// A raw DEFLATE compressor (no zlib header or checksum) at the default
// level, kept per thread and reset for each use: the decoding loop measures
// a few hundred bytes at every step, and setting one up costs more than that.
class Compressor {
public:
    Compressor() { ready_ = deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
    ~Compressor() {
        if (ready_) deflateEnd(&stream_);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    // Length of the compressed bytes, or nothing with the reason logged.
    std::optional<size_t> deflatedLength(const unsigned char* bytes, size_t count) {
        if (!ready_ || deflateReset(&stream_) != Z_OK) {
            engine_log::debug(std::string("Compression error: ") + (stream_.msg ? stream_.msg : "cannot start the compressor"));
            return std::nullopt;
        }
        out_.resize(deflateBound(&stream_, static_cast<uLong>(count)));
        stream_.next_in = const_cast<unsigned char*>(bytes);
        stream_.avail_in = static_cast<uInt>(count);
        stream_.next_out = out_.data();
        stream_.avail_out = static_cast<uInt>(out_.size());
        if (deflate(&stream_, Z_FINISH) != Z_STREAM_END) {
            engine_log::debug(std::string("Compression error: ") +
                              (stream_.msg ? stream_.msg : "the compressed data did not fit"));
            return std::nullopt;
        }
        return out_.size() - stream_.avail_out;
    }

private:
    z_stream stream_{};
    bool ready_ = false;
    std::vector<unsigned char> out_;
};

std::optional<size_t> deflatedLength(const unsigned char* bytes, size_t count) {
    thread_local Compressor compressor;
    return compressor.deflatedLength(bytes, count);
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
