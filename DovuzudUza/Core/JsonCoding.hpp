#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/foundation/Error.hpp"

namespace DovuzudUza {

// Failure to read one of the speech records from JSON. The kinds follow the
// usual keyed-decoding failures; the coding path names where it happened.
class JsonDecodingError : public platform::Error {
public:
    enum class Kind { keyNotFound, valueNotFound, typeMismatch, dataCorrupted };

    JsonDecodingError(Kind kind, std::string codingPath, std::string message);

    Kind kind() const { return kind_; }
    const std::string& codingPath() const { return codingPath_; }
    const std::string& message() const { return message_; }

    std::string description() const override;

private:
    Kind kind_;
    std::string codingPath_;
    std::string message_;
};

// A record that has no JSON form: a number that is not finite (JSON has no
// NaN or infinity, and null would read back as something else).
class JsonEncodingError : public platform::Error {
public:
    JsonEncodingError(std::string codingPath, std::string message)
        : codingPath_(std::move(codingPath)), message_(std::move(message)) {}

    const std::string& codingPath() const { return codingPath_; }
    std::string description() const override;

private:
    std::string codingPath_;
    std::string message_;
};

// Helpers shared by the records' readers and writers.
namespace json_coding {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// A 32-bit float written through its shortest text, so 2.4f reads "2.4".
OrderedJson floatValue(float value);

// The text of `json` (indented by `indent` spaces, or on one line when
// negative); throws JsonEncodingError at the first number that is not finite.
std::string encode(const OrderedJson& json, int indent);

// The object at `json`, or a type mismatch at `path`.
const Json& requireObject(const Json& json, const std::string& path);

// Required member: missing key fails with keyNotFound, null with valueNotFound.
const Json& require(const Json& object, const char* key, const std::string& path);
// Optional member: absent when missing or null.
const Json* optional(const Json& object, const char* key);

std::string readString(const Json& value, const std::string& path);
bool readBool(const Json& value, const std::string& path);
int64_t readInt(const Json& value, const std::string& path);
float readFloat(const Json& value, const std::string& path);
double readDouble(const Json& value, const std::string& path);
std::vector<int64_t> readIntList(const Json& value, const std::string& path);
std::vector<float> readFloatList(const Json& value, const std::string& path);
std::vector<std::string> readStringList(const Json& value, const std::string& path);

std::string child(const std::string& path, const std::string& key);
std::string child(const std::string& path, size_t index);

}  // namespace json_coding
}  // namespace DovuzudUza
