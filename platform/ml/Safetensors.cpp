#include "platform/ml/Safetensors.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <system_error>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "platform/ml/Half.hpp"
#include "platform/ml/ModelError.hpp"

namespace platform::ml {

namespace {

[[noreturn]] void invalid(const std::filesystem::path& path, const std::string& message) {
    throw ModelError(ModelError::Kind::invalidModel, "Invalid tensor file " + path.string() + ": " + message);
}

void readExactly(int fd, void* into, size_t bytes, uint64_t offset, const std::filesystem::path& path) {
    auto* p = static_cast<char*>(into);
    while (bytes > 0) {
        const ssize_t n = ::pread(fd, p, bytes, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) invalid(path, "unexpected end of file");
        p += n;
        bytes -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
}

bool typeFromName(const std::string& s, TensorType& t) {
    if (s == "F16") t = TensorType::f16;
    else if (s == "BF16") t = TensorType::bf16;
    else if (s == "F32") t = TensorType::f32;
    else if (s == "I32") t = TensorType::i32;
    else return false;
    return true;
}

}  // namespace

size_t tensorTypeSize(TensorType type) {
    switch (type) {
        case TensorType::f16:
        case TensorType::bf16: return 2;
        case TensorType::f32:
        case TensorType::i32: return 4;
    }
    return 0;
}

const char* tensorTypeName(TensorType type) {
    switch (type) {
        case TensorType::f16: return "F16";
        case TensorType::bf16: return "BF16";
        case TensorType::f32: return "F32";
        case TensorType::i32: return "I32";
    }
    return "?";
}

int64_t TensorInfo::count() const {
    int64_t n = 1;
    for (auto d : shape) n *= d;
    return n;
}

TensorFile::TensorFile(const std::filesystem::path& path) : path_(path) {
    fd_.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd_) {
        // Out of memory or of file handles says nothing about the file.
        const int code = errno;
        if (code == ENOMEM || code == EMFILE || code == ENFILE)
            throw std::system_error(code, std::generic_category(), "Cannot open " + path.string());
        throw ModelError(ModelError::Kind::modelNotFound, "Tensor file not found: " + path.string());
    }
    const off_t fileSize = ::lseek(fd_.get(), 0, SEEK_END);
    if (fileSize < 8) invalid(path, "shorter than its header length");
    uint8_t lengthBytes[8];
    readExactly(fd_.get(), lengthBytes, 8, 0, path);
    uint64_t headerLength = 0;
    for (int i = 7; i >= 0; --i) headerLength = (headerLength << 8) | lengthBytes[i];
    if (headerLength > static_cast<uint64_t>(fileSize) - 8) invalid(path, "header length exceeds the file");
    if (headerLength > (uint64_t{256} << 20)) invalid(path, "header too large");
    std::string header(headerLength, '\0');
    readExactly(fd_.get(), header.data(), headerLength, 8, path);
    dataStart_ = 8 + headerLength;
    const uint64_t dataSize = static_cast<uint64_t>(fileSize) - dataStart_;

    nlohmann::json j;
    try {
        j = nlohmann::json::parse(header);
    } catch (const std::exception& e) {
        invalid(path, std::string("header is not JSON: ") + e.what());
    }
    if (!j.is_object()) invalid(path, "header is not an object");
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    for (auto it = j.begin(); it != j.end(); ++it) {
        if (it.key() == "__metadata__") {
            if (it.value().is_object()) {
                for (auto m = it.value().begin(); m != it.value().end(); ++m) {
                    if (m.value().is_string()) metadata_[m.key()] = m.value().get<std::string>();
                }
            }
            continue;
        }
        const auto& e = it.value();
        const std::string& name = it.key();
        if (!e.is_object() || !e.contains("dtype") || !e.contains("shape") || !e.contains("data_offsets"))
            invalid(path, "entry \"" + name + "\" is incomplete");
        TensorInfo info;
        info.name = name;
        if (!e["dtype"].is_string() || !typeFromName(e["dtype"].get<std::string>(), info.type))
            invalid(path, "entry \"" + name + "\" has an unsupported dtype");
        if (!e["shape"].is_array()) invalid(path, "entry \"" + name + "\" has a bad shape");
        uint64_t count = 1;
        for (const auto& d : e["shape"]) {
            if (!d.is_number_unsigned() || d.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX))
                invalid(path, "entry \"" + name + "\" has a bad shape");
            const uint64_t v = d.get<uint64_t>();
            if (v != 0 && count > (uint64_t{1} << 40) / v) invalid(path, "entry \"" + name + "\" is too large");
            count *= v;
            info.shape.push_back(static_cast<int64_t>(v));
        }
        const auto& off = e["data_offsets"];
        if (!off.is_array() || off.size() != 2 || !off[0].is_number_unsigned() || !off[1].is_number_unsigned())
            invalid(path, "entry \"" + name + "\" has bad offsets");
        info.begin = off[0].get<uint64_t>();
        info.end = off[1].get<uint64_t>();
        if (info.begin > info.end || info.end > dataSize)
            invalid(path, "entry \"" + name + "\" lies outside the file (truncated?)");
        if (info.end - info.begin != count * tensorTypeSize(info.type))
            invalid(path, "entry \"" + name + "\" has " + std::to_string(info.end - info.begin) +
                              " bytes, its shape needs " + std::to_string(count * tensorTypeSize(info.type)));
        ranges.emplace_back(info.begin, info.end);
        tensors_.emplace(name, std::move(info));
    }
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second) invalid(path, "entries overlap");
    }
    // Bytes no entry claims are a damaged or mislabelled file, not padding.
    const TensorInfo* last = nullptr;
    for (const auto& [name, info] : tensors_)
        if (!last || info.end > last->end) last = &info;
    const uint64_t used = last ? last->end : 0;
    if (dataSize > used) {
        invalid(path, std::to_string(dataSize - used) + " bytes after " +
                          (last ? "the last tensor \"" + last->name + "\"" : std::string("a header with no tensor")));
    }
}

const TensorInfo& TensorFile::info(const std::string& name) const {
    auto it = tensors_.find(name);
    if (it == tensors_.end()) invalid(path_, "missing tensor \"" + name + "\"");
    return it->second;
}

std::vector<uint8_t> TensorFile::readBytes(const std::string& name) const {
    const auto& i = info(name);
    std::vector<uint8_t> bytes(i.end - i.begin);
    readExactly(fd_.get(), bytes.data(), bytes.size(), dataStart_ + i.begin, path_);
    return bytes;
}

FloatBuffer TensorFile::readFloat(const std::string& name) const {
    const auto& i = info(name);
    const size_t n = static_cast<size_t>(i.count());
    FloatBuffer out(n, false);
    if (i.type == TensorType::f32) {
        readExactly(fd_.get(), out.data(), n * 4, dataStart_ + i.begin, path_);
        return out;
    }
    // Convert in slices so a big tensor needs little extra memory.
    constexpr size_t kSlice = 1 << 20;
    std::vector<uint8_t> raw(std::min(n, kSlice) * tensorTypeSize(i.type));
    for (size_t at = 0; at < n; at += kSlice) {
        const size_t m = std::min(kSlice, n - at);
        readExactly(fd_.get(), raw.data(), m * tensorTypeSize(i.type), dataStart_ + i.begin + at * tensorTypeSize(i.type),
                    path_);
        if (i.type == TensorType::f16) {
            halvesToFloats(reinterpret_cast<const uint16_t*>(raw.data()), out.data() + at, m);
        } else if (i.type == TensorType::bf16) {
            const auto* b = reinterpret_cast<const uint16_t*>(raw.data());
            for (size_t k = 0; k < m; ++k) {
                const uint32_t bits = static_cast<uint32_t>(b[k]) << 16;
                std::memcpy(out.data() + at + k, &bits, 4);
            }
        } else {
            const auto* v = reinterpret_cast<const int32_t*>(raw.data());
            for (size_t k = 0; k < m; ++k) out[at + k] = static_cast<float>(v[k]);
        }
    }
    return out;
}

void TensorFileWriter::add(const std::string& name, TensorType type, std::vector<int64_t> shape, const void* data,
                           size_t bytes) {
    Entry e{name, type, std::move(shape), {}};
    e.bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + bytes);
    entries_.push_back(std::move(e));
}

void TensorFileWriter::addFloat(const std::string& name, std::vector<int64_t> shape, const float* data,
                                TensorType storeAs) {
    size_t n = 1;
    for (auto d : shape) n *= static_cast<size_t>(d);
    if (storeAs == TensorType::f16) {
        std::vector<uint16_t> h(n);
        floatsToHalves(data, h.data(), n);
        add(name, storeAs, std::move(shape), h.data(), n * 2);
    } else {
        add(name, TensorType::f32, std::move(shape), data, n * 4);
    }
}

void TensorFileWriter::write(const std::filesystem::path& path) const {
    nlohmann::json header = nlohmann::json::object();
    uint64_t offset = 0;
    for (const auto& e : entries_) {
        header[e.name] = {{"dtype", tensorTypeName(e.type)},
                          {"shape", e.shape},
                          {"data_offsets", {offset, offset + e.bytes.size()}}};
        offset += e.bytes.size();
    }
    if (!metadata_.empty()) header["__metadata__"] = metadata_;
    std::string text = header.dump();
    while ((8 + text.size()) % 64 != 0) text.push_back(' ');
    const auto tmp = path.string() + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        uint8_t len[8];
        uint64_t n = text.size();
        for (int i = 0; i < 8; ++i) len[i] = static_cast<uint8_t>(n >> (8 * i));
        out.write(reinterpret_cast<const char*>(len), 8);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        for (const auto& e : entries_) out.write(reinterpret_cast<const char*>(e.bytes.data()),
                                                 static_cast<std::streamsize>(e.bytes.size()));
        out.flush();
        if (!out) throw ModelError(ModelError::Kind::invalidModel, "Cannot write tensor file " + tmp);
    }
    std::filesystem::rename(tmp, path);
}

}  // namespace platform::ml
