#include "DovuzudUza/Core/JsonCoding.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/foundation/NumberFormat.hpp"

namespace DovuzudUza {

JsonDecodingError::JsonDecodingError(Kind kind, std::string codingPath, std::string message)
    : kind_(kind), codingPath_(std::move(codingPath)), message_(std::move(message)) {}

std::string JsonDecodingError::description() const {
    std::string kindText;
    switch (kind_) {
        case Kind::keyNotFound: kindText = "keyNotFound"; break;
        case Kind::valueNotFound: kindText = "valueNotFound"; break;
        case Kind::typeMismatch: kindText = "typeMismatch"; break;
        case Kind::dataCorrupted: kindText = "dataCorrupted"; break;
    }
    std::string text = kindText + ": " + message_;
    if (!codingPath_.empty()) text += " (at " + codingPath_ + ")";
    return text;
}

std::string JsonEncodingError::description() const {
    std::string text = "invalidValue: " + message_;
    if (!codingPath_.empty()) text += " (at " + codingPath_ + ")";
    return text;
}

namespace json_coding {

namespace {
[[noreturn]] void mismatch(const std::string& path, const std::string& expected) {
    throw JsonDecodingError(JsonDecodingError::Kind::typeMismatch, path,
                            "Expected to decode " + expected + " but found another value.");
}
}  // namespace

std::string child(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

std::string child(const std::string& path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

namespace {
void requireFinite(const OrderedJson& json, const std::string& path) {
    if (json.is_number_float() && !std::isfinite(json.get<double>()))
        throw JsonEncodingError(path, "The number " + platform::formatShortest(json.get<double>()) +
                                          " has no JSON form; only finite numbers can be written.");
    if (json.is_object())
        for (const auto& [key, member] : json.items()) requireFinite(member, child(path, key));
    if (json.is_array())
        for (size_t i = 0; i < json.size(); ++i) requireFinite(json[i], child(path, i));
}
}  // namespace

std::string encode(const OrderedJson& json, int indent) {
    requireFinite(json, "");
    return json.dump(indent);
}

OrderedJson floatValue(float value) {
    if (!std::isfinite(value)) return OrderedJson(static_cast<double>(value));
    // The double that prints as the float's own shortest text (0.1f as 0.1).
    return OrderedJson(*platform::parseDouble(platform::formatShortest(value)));
}

const Json& requireObject(const Json& json, const std::string& path) {
    if (!json.is_object()) mismatch(path, "an object");
    return json;
}

const Json& require(const Json& object, const char* key, const std::string& path) {
    requireObject(object, path);
    auto it = object.find(key);
    if (it == object.end())
        throw JsonDecodingError(JsonDecodingError::Kind::keyNotFound, path,
                                std::string("No value associated with key \"") + key + "\".");
    if (it->is_null())
        throw JsonDecodingError(JsonDecodingError::Kind::valueNotFound, child(path, key),
                                std::string("Expected a value for key \"") + key + "\" but found null.");
    return *it;
}

const Json* optional(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

std::string readString(const Json& value, const std::string& path) {
    if (!value.is_string()) mismatch(path, "a string");
    return value.get<std::string>();
}

bool readBool(const Json& value, const std::string& path) {
    if (!value.is_boolean()) mismatch(path, "a boolean");
    return value.get<bool>();
}

int64_t readInt(const Json& value, const std::string& path) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() &&
            value.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
            throw JsonDecodingError(JsonDecodingError::Kind::dataCorrupted, path,
                                    "Number does not fit in a 64-bit integer.");
        return value.get<int64_t>();
    }
    if (value.is_number_float()) {
        double d = value.get<double>();
        if (std::trunc(d) == d && d >= -9.2e18 && d <= 9.2e18) return static_cast<int64_t>(d);
        throw JsonDecodingError(JsonDecodingError::Kind::dataCorrupted, path,
                                "Number does not fit in a 64-bit integer.");
    }
    mismatch(path, "an integer");
}

float readFloat(const Json& value, const std::string& path) {
    if (!value.is_number()) mismatch(path, "a number");
    double d = value.get<double>();
    if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
        throw JsonDecodingError(JsonDecodingError::Kind::dataCorrupted, path,
                                "Number " + value.dump() + " does not fit in a 32-bit float.");
    return static_cast<float>(d);
}

double readDouble(const Json& value, const std::string& path) {
    if (!value.is_number()) mismatch(path, "a number");
    return value.get<double>();
}

std::vector<int64_t> readIntList(const Json& value, const std::string& path) {
    if (!value.is_array()) mismatch(path, "an array");
    std::vector<int64_t> out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) out.push_back(readInt(value[i], child(path, i)));
    return out;
}

std::vector<float> readFloatList(const Json& value, const std::string& path) {
    if (!value.is_array()) mismatch(path, "an array");
    std::vector<float> out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) out.push_back(readFloat(value[i], child(path, i)));
    return out;
}

std::vector<std::string> readStringList(const Json& value, const std::string& path) {
    if (!value.is_array()) mismatch(path, "an array");
    std::vector<std::string> out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) out.push_back(readString(value[i], child(path, i)));
    return out;
}

}  // namespace json_coding
}  // namespace DovuzudUza
