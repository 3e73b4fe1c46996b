#include "platform/ml/MultiArray.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "platform/ml/Half.hpp"

namespace platform::ml {

namespace {

int64_t product(const std::vector<int64_t>& shape) {
    int64_t n = 1;
    for (int64_t d : shape) {
        if (d < 0) throw std::invalid_argument("MultiArray: negative dimension");
        if (d != 0 && n > std::numeric_limits<int64_t>::max() / d) throw std::invalid_argument("MultiArray: too large");
        n *= d;
    }
    return n;
}

// Elements spanned by shape/strides: the largest offset + 1 (0 when empty).
int64_t span(const std::vector<int64_t>& shape, const std::vector<int64_t>& strides) {
    int64_t last = 0;
    for (size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 0) return 0;
        if (strides[i] < 0) throw std::invalid_argument("MultiArray: negative stride");
        last += (shape[i] - 1) * strides[i];
    }
    return last + 1;
}

std::shared_ptr<void> allocate(size_t bytes) {
    const size_t rounded = ((bytes + 63) / 64) * 64;
    void* p = std::aligned_alloc(64, rounded == 0 ? 64 : rounded);
    if (!p) throw std::bad_alloc();
    std::memset(p, 0, rounded == 0 ? 64 : rounded);
    return std::shared_ptr<void>(p, [](void* q) { std::free(q); });
}

}  // namespace

std::vector<int64_t> MultiArray::contiguousStrides(const std::vector<int64_t>& shape) {
    std::vector<int64_t> strides(shape.size(), 1);
    int64_t s = 1;
    for (size_t i = shape.size(); i-- > 0;) {
        strides[i] = s;
        s *= std::max<int64_t>(shape[i], 1);
    }
    return strides;
}

MultiArray::MultiArray(std::vector<int64_t> shape, DataType dataType)
    : MultiArray(shape, dataType, contiguousStrides(shape)) {}

MultiArray::MultiArray(std::vector<int64_t> shape, DataType dataType, std::vector<int64_t> strides)
    : shape_(std::move(shape)), strides_(std::move(strides)), dataType_(dataType) {
    validate();
    owned_ = allocate(static_cast<size_t>(storageCount_) * ml::elementSize(dataType_));
    data_ = owned_.get();
}

MultiArray::MultiArray(void* data, std::vector<int64_t> shape, DataType dataType, std::vector<int64_t> strides,
                       std::shared_ptr<void> owner)
    : shape_(std::move(shape)), strides_(std::move(strides)), dataType_(dataType), data_(data),
      owner_(std::move(owner)) {
    validate();
    if (!data_ && count_ > 0) throw std::invalid_argument("MultiArray: null data");
}

void MultiArray::validate() const {
    if (shape_.size() != strides_.size()) throw std::invalid_argument("MultiArray: shape and strides differ in rank");
    if (ml::elementSize(dataType_) == 0) throw std::invalid_argument("MultiArray: unknown element type");
    const_cast<MultiArray*>(this)->count_ = product(shape_);
    const_cast<MultiArray*>(this)->storageCount_ = span(shape_, strides_);
}

std::shared_ptr<MultiArray> MultiArray::copy() const {
    auto out = std::make_shared<MultiArray>(shape_, dataType_);
    const size_t es = elementSize();
    auto* dst = static_cast<char*>(out->data());
    const auto* src = static_cast<const char*>(data_);
    if (isContiguous()) {
        std::memcpy(dst, src, static_cast<size_t>(count_) * es);
    } else {
        for (int64_t n = 0; n < count_; ++n) std::memcpy(dst + n * es, src + offsetOfLinear(n) * es, es);
    }
    return out;
}

size_t MultiArray::elementSize() const { return ml::elementSize(dataType_); }

bool MultiArray::isContiguous() const {
    int64_t s = 1;
    for (size_t i = shape_.size(); i-- > 0;) {
        if (shape_[i] != 1 && strides_[i] != s) return false;
        s *= shape_[i];
    }
    return true;
}

void MultiArray::checkElement(size_t size) const {
    if (size != elementSize()) throw std::invalid_argument("MultiArray: element type does not match the accessor");
}

int64_t MultiArray::offset(std::span<const int64_t> index) const {
    int64_t o = 0;
    const size_t n = std::min(index.size(), strides_.size());
    for (size_t i = 0; i < n; ++i) o += index[i] * strides_[i];
    return o;
}

int64_t MultiArray::checkedOffset(std::span<const int64_t> index) const {
    if (index.size() != shape_.size()) throw std::out_of_range("MultiArray: index rank differs from shape");
    for (size_t i = 0; i < index.size(); ++i) {
        if (index[i] < 0 || index[i] >= shape_[i]) throw std::out_of_range("MultiArray: index out of range");
    }
    return offset(index);
}

int64_t MultiArray::offsetOfLinear(int64_t n) const {
    int64_t o = 0;
    for (size_t i = shape_.size(); i-- > 0;) {
        const int64_t d = shape_[i];
        o += (n % d) * strides_[i];
        n /= d;
    }
    return o;
}

double MultiArray::readAt(int64_t o) const {
    switch (dataType_) {
        case DataType::float16: return halfToFloat(static_cast<const uint16_t*>(data_)[o]);
        case DataType::float32: return static_cast<const float*>(data_)[o];
        case DataType::float64: return static_cast<const double*>(data_)[o];
        case DataType::int32: return static_cast<const int32_t*>(data_)[o];
        case DataType::int8: return static_cast<const int8_t*>(data_)[o];
    }
    return 0;
}

void MultiArray::writeAt(int64_t o, double v) {
    switch (dataType_) {
        case DataType::float16: static_cast<uint16_t*>(data_)[o] = floatToHalf(static_cast<float>(v)); break;
        case DataType::float32: static_cast<float*>(data_)[o] = static_cast<float>(v); break;
        case DataType::float64: static_cast<double*>(data_)[o] = v; break;
        case DataType::int32: static_cast<int32_t*>(data_)[o] = static_cast<int32_t>(v); break;
        case DataType::int8: static_cast<int8_t*>(data_)[o] = static_cast<int8_t>(v); break;
    }
}

double MultiArray::value(std::span<const int64_t> index) const { return readAt(checkedOffset(index)); }

void MultiArray::setValue(std::span<const int64_t> index, double v) { writeAt(checkedOffset(index), v); }

float MultiArray::floatAt(int64_t n) const {
    if (n < 0 || n >= count_) throw std::out_of_range("MultiArray: position out of range");
    return static_cast<float>(readAt(offsetOfLinear(n)));
}

void MultiArray::setFloatAt(int64_t n, float v) {
    if (n < 0 || n >= count_) throw std::out_of_range("MultiArray: position out of range");
    writeAt(offsetOfLinear(n), v);
}

std::vector<float> MultiArray::toFloatVector() const {
    std::vector<float> out(static_cast<size_t>(count_));
    if (isContiguous() && dataType_ == DataType::float16) {
        halvesToFloats(static_cast<const uint16_t*>(data_), out.data(), out.size());
        return out;
    }
    if (isContiguous() && dataType_ == DataType::float32) {
        std::memcpy(out.data(), data_, out.size() * 4);
        return out;
    }
    for (int64_t n = 0; n < count_; ++n) out[static_cast<size_t>(n)] = static_cast<float>(readAt(offsetOfLinear(n)));
    return out;
}

void MultiArray::fill(double v) {
    for (int64_t n = 0; n < count_; ++n) writeAt(offsetOfLinear(n), v);
}

}  // namespace platform::ml
