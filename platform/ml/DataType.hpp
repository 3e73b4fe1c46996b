#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::ml {

// Element types of a multi-array, with the platform's numeric codes.
enum class DataType : int32_t {
    float16 = 0x10010,
    float32 = 0x10020,
    float64 = 0x10040,
    int32 = 0x20020,
    int8 = 0x20008,
};

size_t elementSize(DataType type);
// "float16", "float32", "float64", "int32", "int8".
std::string_view dataTypeName(DataType type);
std::optional<DataType> dataTypeFromName(std::string_view name);

}  // namespace platform::ml
