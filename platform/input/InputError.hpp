#pragma once

#include <string>

#include "platform/foundation/Error.hpp"

namespace platform::input {

// Failures of the input layer that are not a refused hot key.
class InputError : public platform::Error {
public:
    enum class Kind { noDisplay, noKeyboardExtension };

    InputError(Kind kind, std::string detail) : kind_(kind), detail_(std::move(detail)) {}

    Kind kind() const { return kind_; }
    std::string description() const override;

private:
    Kind kind_;
    std::string detail_;
};

}  // namespace platform::input
