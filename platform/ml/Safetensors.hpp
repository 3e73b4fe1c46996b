#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/UniqueFd.hpp"
#include "platform/ml/AlignedBuffer.hpp"

namespace platform::ml {

// Element types of a tensor file.
enum class TensorType { f16, bf16, f32, i32 };

struct TensorInfo {
    std::string name;
    TensorType type = TensorType::f32;
    std::vector<int64_t> shape;
    uint64_t begin = 0;  // byte offsets within the data area
    uint64_t end = 0;
    int64_t count() const;
};

// Reads a tensor file: an 8-byte little-endian header length, a JSON index
// {"name": {"dtype", "shape", "data_offsets": [begin, end]}, ...}, then the
// raw little-endian data. Every entry is checked against the file (lengths,
// offsets, overlaps) when opened. Throws ModelError::invalidModel.
class TensorFile {
public:
    explicit TensorFile(const std::filesystem::path& path);
    TensorFile(const TensorFile&) = delete;
    TensorFile& operator=(const TensorFile&) = delete;

    const std::filesystem::path& path() const { return path_; }
    bool contains(const std::string& name) const { return tensors_.count(name) != 0; }
    const TensorInfo& info(const std::string& name) const;  // throws when absent
    const std::map<std::string, TensorInfo>& tensors() const { return tensors_; }
    const std::map<std::string, std::string>& metadata() const { return metadata_; }

    // The tensor as float32 (converted from f16 / bf16 / i32).
    FloatBuffer readFloat(const std::string& name) const;
    // Raw bytes of the tensor.
    std::vector<uint8_t> readBytes(const std::string& name) const;

private:
    std::filesystem::path path_;
    platform::UniqueFd fd_;
    uint64_t dataStart_ = 0;
    std::map<std::string, TensorInfo> tensors_;
    std::map<std::string, std::string> metadata_;
};

// Writes a tensor file; the data area starts 64-byte aligned.
class TensorFileWriter {
public:
    void add(const std::string& name, TensorType type, std::vector<int64_t> shape, const void* data, size_t bytes);
    void addFloat(const std::string& name, std::vector<int64_t> shape, const float* data, TensorType storeAs);
    void setMetadata(const std::string& key, const std::string& value) { metadata_[key] = value; }
    void write(const std::filesystem::path& path) const;  // throws ModelError on failure

private:
    struct Entry {
        std::string name;
        TensorType type;
        std::vector<int64_t> shape;
        std::vector<uint8_t> bytes;
    };
    std::vector<Entry> entries_;
    std::map<std::string, std::string> metadata_;
};

size_t tensorTypeSize(TensorType type);
const char* tensorTypeName(TensorType type);  // "F16", "BF16", "F32", "I32"

}  // namespace platform::ml
