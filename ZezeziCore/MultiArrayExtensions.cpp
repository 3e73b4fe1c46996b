#include "ZezeziCore/MultiArrayExtensions.hpp"

#include <stdexcept>

namespace ZezeziCore {

using platform::ml::DataType;
using platform::ml::MultiArray;

std::shared_ptr<MultiArray> multiArrayFrom(const std::vector<int64_t>& values, int dims) {
    if (dims < 1) throw std::invalid_argument("an array needs at least one dimension");
    std::vector<int64_t> shape(static_cast<size_t>(dims), 1);
    shape.back() = static_cast<int64_t>(values.size());
    auto array = std::make_shared<MultiArray>(shape, DataType::int32);
    auto* p = array->data<int32_t>();
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i] < INT32_MIN || values[i] > INT32_MAX) throw std::out_of_range("value does not fit 32 bits");
        p[i] = static_cast<int32_t>(values[i]);
    }
    return array;
}

int64_t linearOffset(const std::vector<int64_t>& index, const std::vector<int64_t>& strides) {
    int64_t offset = 0;
    for (size_t i = 0; i < std::min(index.size(), strides.size()); ++i) offset += index[i] * strides[i];
    return offset;
}

int64_t linearOffset(const MultiArray& array, const std::vector<int64_t>& index) {
    return linearOffset(index, array.strides());
}

void fillLastDimension(MultiArray& array, int64_t begin, int64_t end, Float16 value) {
    const auto& shape = array.shape();
    if (shape.size() != 3 || shape[0] != 1 || shape[1] != 1 || array.dataType() != DataType::float16)
        throw std::invalid_argument("fillLastDimension needs a [1, 1, N] float16 array");
    if (begin > end) throw std::invalid_argument("empty range reversed");
    if (begin < 0 || end > shape[2]) throw std::out_of_range("positions outside the last dimension");
    auto* p = array.data<uint16_t>();
    for (int64_t i = begin; i < end; ++i) p[i * array.strides()[2]] = value.bits;
}

std::vector<int64_t> toIntArray(const MultiArray& tensor) {
    if (tensor.dataType() != DataType::int32) throw std::invalid_argument("Unsupported scalar type: " + std::string(platform::ml::dataTypeName(tensor.dataType())));
    std::vector<int64_t> out(static_cast<size_t>(tensor.count()));
    const auto* p = tensor.data<int32_t>();
    for (int64_t n = 0; n < tensor.count(); ++n) out[static_cast<size_t>(n)] = p[tensor.offsetOfLinear(n)];
    return out;
}

std::vector<float> toFloatArray(const MultiArray& tensor) {
    switch (tensor.dataType()) {
        case DataType::float32:
        case DataType::float16:
        case DataType::int32: return tensor.toFloatVector();
        default: break;
    }
    throw std::invalid_argument("Unsupported scalar type: " + std::string(platform::ml::dataTypeName(tensor.dataType())));
}

std::shared_ptr<MultiArray> toMultiArray(const MultiArray& tensor) {
    switch (tensor.dataType()) {
        case DataType::float32:
        case DataType::float16:
        case DataType::int32: return tensor.copy();
        default: break;
    }
    throw std::invalid_argument("Unsupported scalar type: " + std::string(platform::ml::dataTypeName(tensor.dataType())));
}

}  // namespace ZezeziCore
