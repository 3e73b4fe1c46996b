#pragma once

#include <string>

#include "platform/foundation/Error.hpp"

namespace platform::ml {

// Failures of loading or running a model.
class ModelError : public platform::Error {
public:
    enum class Kind {
        modelNotFound,    // no such folder or file
        invalidModel,     // unreadable or inconsistent model files
        invalidInput,     // missing feature, wrong type or shape
        predictionFailed, // the computation itself failed
        unsupported,      // operation the model does not offer
        unloaded,         // the model was unloaded
    };

    ModelError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

    Kind kind() const { return kind_; }
    const std::string& message() const { return message_; }
    std::string description() const override { return message_; }

private:
    Kind kind_;
    std::string message_;
};

}  // namespace platform::ml
