#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/foundation/Error.hpp"
#include "platform/ml/Half.hpp"
#include "platform/ml/MultiArray.hpp"

namespace ZezeziCore {

// A float16 value as its bits, distinct from other 16-bit integers.
using Float16 = platform::ml::Half;

inline constexpr Float16 kFloat16NegativeInfinity{platform::ml::kHalfNegativeInfinity};

class MLMultiArrayCreationError : public platform::Error {
public:
    enum class Kind { pixelBufferFailed };
    explicit MLMultiArrayCreationError(Kind kind = Kind::pixelBufferFailed) : kind_(kind) {}
    Kind kind() const { return kind_; }
    bool operator==(const MLMultiArrayCreationError& other) const { return kind_ == other.kind_; }
    std::string description() const override {
        return "Failed to create IOSurface-backed pixel buffer for MLMultiArray";
    }

private:
    Kind kind_;
};

// A multi-array filled with the initial value when the value's type matches
// the element type (Float16, float, double, int32_t, int8_t); another type
// leaves it zero. A float16 array needs at least one dimension.
template <class T>
std::shared_ptr<platform::ml::MultiArray> makeMultiArray(const std::vector<int64_t>& shape,
                                                         platform::ml::DataType dataType, const T& initialValue) {
    using platform::ml::DataType;
    if (dataType == DataType::float16 && shape.empty()) throw MLMultiArrayCreationError();
    auto array = std::make_shared<platform::ml::MultiArray>(shape, dataType);
    auto fillWith = [&](auto value) {
        using V = decltype(value);
        V* p = array->template data<V>();
        // Through the strides: every element, padding or not.
        for (int64_t n = 0; n < array->count(); ++n) p[array->offsetOfLinear(n)] = value;
    };
    if constexpr (std::is_same_v<T, Float16>) {
        if (dataType == DataType::float16) fillWith(initialValue.bits);
    } else if constexpr (std::is_same_v<T, float>) {
        if (dataType == DataType::float32) fillWith(initialValue);
    } else if constexpr (std::is_same_v<T, double>) {
        if (dataType == DataType::float64) fillWith(initialValue);
    } else if constexpr (std::is_same_v<T, int32_t>) {
        if (dataType == DataType::int32) fillWith(initialValue);
    } else if constexpr (std::is_same_v<T, int8_t>) {
        if (dataType == DataType::int8) fillWith(initialValue);
    }
    return array;
}

// An int32 array of `dims` dimensions, all 1 but the last, holding the values.
std::shared_ptr<platform::ml::MultiArray> multiArrayFrom(const std::vector<int64_t>& values, int dims = 1);

// Sum of index[i] * strides[i] over the positions both lists have.
int64_t linearOffset(const std::vector<int64_t>& index, const std::vector<int64_t>& strides);
int64_t linearOffset(const platform::ml::MultiArray& array, const std::vector<int64_t>& index);

// The element type a value of type T is stored as.
template <class T>
constexpr platform::ml::DataType elementTypeOf() {
    using platform::ml::DataType;
    if constexpr (std::is_same_v<T, Float16>) return DataType::float16;
    else if constexpr (std::is_same_v<T, float>) return DataType::float32;
    else if constexpr (std::is_same_v<T, double>) return DataType::float64;
    else if constexpr (std::is_same_v<T, int32_t>) return DataType::int32;
    else if constexpr (std::is_same_v<T, int8_t>) return DataType::int8;
    else static_assert(!sizeof(T), "no multi-array element type for this value type");
}

// Writes the value at each index list of the right rank and within bounds;
// other lists are skipped. The value's type must be the element type: any
// other is refused with std::invalid_argument before anything is written
// (an int32 written into a float32 array would store raw bits).
template <class T>
void fill(platform::ml::MultiArray& array, const std::vector<std::vector<int64_t>>& indexes, const T& value) {
    if (array.dataType() != elementTypeOf<T>())
        throw std::invalid_argument("fill: a " + std::string(platform::ml::dataTypeName(elementTypeOf<T>())) +
                                    " value does not go into a " +
                                    std::string(platform::ml::dataTypeName(array.dataType())) + " array");
    const auto& shape = array.shape();
    const auto& strides = array.strides();
    T* data;
    if constexpr (std::is_same_v<T, Float16>) {
        data = reinterpret_cast<T*>(array.template data<uint16_t>());
    } else {
        data = array.template data<T>();
    }
    for (const auto& index : indexes) {
        if (index.size() != shape.size()) continue;
        bool inside = true;
        for (size_t i = 0; i < index.size(); ++i)
            if (index[i] < 0 || index[i] >= shape[i]) inside = false;
        if (!inside) continue;
        data[linearOffset(index, strides)] = value;
    }
}

// Writes the value at positions [begin, end) of the last axis of a [1, 1, N]
// float16 array. Throws std::out_of_range for positions outside 0..<N and
// std::invalid_argument for another shape.
void fillLastDimension(platform::ml::MultiArray& array, int64_t begin, int64_t end, Float16 value);

// Reading a result tensor.
std::vector<int64_t> toIntArray(const platform::ml::MultiArray& tensor);
std::vector<float> toFloatArray(const platform::ml::MultiArray& tensor);
std::shared_ptr<platform::ml::MultiArray> toMultiArray(const platform::ml::MultiArray& tensor);

}  // namespace ZezeziCore
