#pragma once

#include <string>

#include "platform/foundation/Error.hpp"

namespace ZezeziCore {

// The model runtime's one error; the message is composed by the thrower.
class ZezeziCoreError : public platform::Error {
public:
    enum class Kind { invalidConfiguration };

    static ZezeziCoreError invalidConfiguration(std::string message) {
        return ZezeziCoreError(Kind::invalidConfiguration, std::move(message));
    }

    Kind kind() const { return kind_; }
    const std::string& message() const { return message_; }
    std::string description() const override { return message_; }

private:
    ZezeziCoreError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}
    Kind kind_;
    std::string message_;
};

}  // namespace ZezeziCore
