#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

#include "platform/ml/DataType.hpp"

namespace platform::ml {

// An n-dimensional array of float16 (stored as uint16_t bits), float32,
// float64, int32 or int8 elements. Shape and strides count elements, not
// bytes. The data is either owned (64-byte aligned, zero-filled) or borrowed
// from memory that an optional owner keeps alive.
class MultiArray {
public:
    // Owned, contiguous row-major, every element zero.
    MultiArray(std::vector<int64_t> shape, DataType dataType);
    // Owned with explicit (e.g. padded) strides, every element zero.
    MultiArray(std::vector<int64_t> shape, DataType dataType, std::vector<int64_t> strides);
    // Borrowed: the array reads and writes `data` in place. `owner` (may be
    // empty) is held as long as the array lives.
    MultiArray(void* data, std::vector<int64_t> shape, DataType dataType, std::vector<int64_t> strides,
               std::shared_ptr<void> owner = {});

    MultiArray(const MultiArray&) = delete;
    MultiArray& operator=(const MultiArray&) = delete;

    static std::shared_ptr<MultiArray> make(std::vector<int64_t> shape, DataType dataType) {
        return std::make_shared<MultiArray>(std::move(shape), dataType);
    }
    // A contiguous, owned copy (same shape and type).
    std::shared_ptr<MultiArray> copy() const;

    static std::vector<int64_t> contiguousStrides(const std::vector<int64_t>& shape);

    const std::vector<int64_t>& shape() const { return shape_; }
    const std::vector<int64_t>& strides() const { return strides_; }
    DataType dataType() const { return dataType_; }
    int64_t count() const { return count_; }
    size_t elementSize() const;
    bool isContiguous() const;
    bool ownsData() const { return owned_ != nullptr; }
    // Elements spanned by the storage (>= count() with padded strides).
    int64_t storageCount() const { return storageCount_; }

    void* data() { return data_; }
    const void* data() const { return data_; }
    // Typed pointer; T must have the element size (uint16_t for float16).
    template <class T>
    T* data() {
        checkElement(sizeof(T));
        return static_cast<T*>(data_);
    }
    template <class T>
    const T* data() const {
        checkElement(sizeof(T));
        return static_cast<const T*>(data_);
    }

    // Element offset of an index: sum of index[i] * strides[i].
    int64_t offset(std::span<const int64_t> index) const;
    int64_t offset(std::initializer_list<int64_t> index) const {
        return offset(std::span<const int64_t>(index.begin(), index.size()));
    }
    // Element offset of the n-th element in row-major logical order.
    int64_t offsetOfLinear(int64_t n) const;

    template <class T>
    T& at(std::initializer_list<int64_t> index) {
        return data<T>()[checkedOffset(std::span<const int64_t>(index.begin(), index.size()))];
    }
    template <class T>
    const T& at(std::initializer_list<int64_t> index) const {
        return data<T>()[checkedOffset(std::span<const int64_t>(index.begin(), index.size()))];
    }

    // Values converted to and from double (float16 rounds to nearest even,
    // integers truncate).
    double value(std::span<const int64_t> index) const;
    double value(std::initializer_list<int64_t> index) const {
        return value(std::span<const int64_t>(index.begin(), index.size()));
    }
    void setValue(std::span<const int64_t> index, double v);
    void setValue(std::initializer_list<int64_t> index, double v) {
        setValue(std::span<const int64_t>(index.begin(), index.size()), v);
    }
    // By row-major logical position.
    float floatAt(int64_t n) const;
    void setFloatAt(int64_t n, float v);

    // All elements in logical order, as float.
    std::vector<float> toFloatVector() const;
    // Writes every element (through the strides).
    void fill(double v);

private:
    void checkElement(size_t size) const;
    int64_t checkedOffset(std::span<const int64_t> index) const;
    double readAt(int64_t offset) const;
    void writeAt(int64_t offset, double v);
    void validate() const;

    std::vector<int64_t> shape_;
    std::vector<int64_t> strides_;
    DataType dataType_;
    int64_t count_ = 0;
    int64_t storageCount_ = 0;
    void* data_ = nullptr;
    std::shared_ptr<void> owned_;
    std::shared_ptr<void> owner_;
};

}  // namespace platform::ml
