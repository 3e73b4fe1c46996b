#include "platform/ml/DataType.hpp"

namespace platform::ml {

size_t elementSize(DataType type) {
    switch (type) {
        case DataType::float16: return 2;
        case DataType::float32: return 4;
        case DataType::float64: return 8;
        case DataType::int32: return 4;
        case DataType::int8: return 1;
    }
    return 0;
}

std::string_view dataTypeName(DataType type) {
    switch (type) {
        case DataType::float16: return "float16";
        case DataType::float32: return "float32";
        case DataType::float64: return "float64";
        case DataType::int32: return "int32";
        case DataType::int8: return "int8";
    }
    return "unknown";
}

std::optional<DataType> dataTypeFromName(std::string_view name) {
    for (DataType t : {DataType::float16, DataType::float32, DataType::float64, DataType::int32, DataType::int8}) {
        if (dataTypeName(t) == name) return t;
    }
    return std::nullopt;
}

}  // namespace platform::ml
