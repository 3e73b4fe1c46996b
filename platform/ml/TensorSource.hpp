#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ml/AlignedBuffer.hpp"
#include "platform/ml/Safetensors.hpp"

namespace platform::ml {

// Where a stage takes its weights from: a tensor file, or memory (tools and
// benchmarks). take() checks the shape and hands the tensor over as float32.
class TensorSource {
public:
    virtual ~TensorSource() = default;
    virtual bool contains(const std::string& name) const = 0;
    virtual std::vector<int64_t> shape(const std::string& name) const = 0;  // throws when absent
    virtual FloatBuffer take(const std::string& name) = 0;

    // take() after checking the shape; throws ModelError::invalidModel.
    FloatBuffer take(const std::string& name, const std::vector<int64_t>& expectedShape);
};

class FileTensorSource : public TensorSource {
public:
    explicit FileTensorSource(const std::filesystem::path& path) : file_(path) {}
    bool contains(const std::string& name) const override { return file_.contains(name); }
    std::vector<int64_t> shape(const std::string& name) const override { return file_.info(name).shape; }
    FloatBuffer take(const std::string& name) override { return file_.readFloat(name); }
    using TensorSource::take;
    const TensorFile& file() const { return file_; }

private:
    TensorFile file_;
};

class MemoryTensorSource : public TensorSource {
public:
    void put(const std::string& name, std::vector<int64_t> shape, FloatBuffer data);
    bool contains(const std::string& name) const override { return tensors_.count(name) != 0; }
    std::vector<int64_t> shape(const std::string& name) const override;
    FloatBuffer take(const std::string& name) override;  // moves the buffer out
    using TensorSource::take;

private:
    std::map<std::string, std::pair<std::vector<int64_t>, FloatBuffer>> tensors_;
};

std::string shapeText(const std::vector<int64_t>& shape);

}  // namespace platform::ml
