#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "ZezeziCore/External/Hub/Config.hpp"
#include "platform/foundation/Error.hpp"

namespace ZezeziCore {

// The JSON text could not be read; `offset` is the byte where reading stopped.
class JSONSerializationError : public platform::Error {
public:
    JSONSerializationError(std::string reason, std::size_t offset) : reason_(std::move(reason)), offset_(offset) {}
    std::string description() const override;
    const std::string& reason() const { return reason_; }
    std::size_t offset() const { return offset_; }

private:
    std::string reason_;
    std::size_t offset_;
};

// Reads a model or tokenizer JSON file straight into a Config, keeping every
// string's exact UTF-16 units: a byte-order mark opening a string survives,
// \uXXXX escapes of unpaired surrogates are kept as such. Numbers follow the
// file reader's rules: true and false are integers 1 and 0, whole numbers that
// fit 64 bits are integers (3.0 and 1e2 too), other numbers single-precision
// floats (integers beyond 64 bits included). A byte-order mark before the
// document is skipped. Nesting deeper than 512 levels is refused. A key that
// repeats within one object keeps its last value and is logged as a warning.
struct JSONReadingOptions {
    // A top-level value that is neither an object nor an array.
    bool fragmentsAllowed = false;
    // Names the data in log lines (a file's path).
    std::string source = "JSON data";
};

struct JSONSerialization {
    using ReadingOptions = JSONReadingOptions;
    // Throws JSONSerializationError on any malformed input (invalid UTF-8
    // included).
    static Config bomPreservingJsonObject(std::string_view data, ReadingOptions options = {});
};

}  // namespace ZezeziCore
