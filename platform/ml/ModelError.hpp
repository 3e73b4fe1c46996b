#pragma once

#include <exception>
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

// Whether a load error says the model's files are missing, incomplete or
// unreadable (a new copy repairs that), rather than that this machine
// could not load them.
inline bool isDamagedModelError(const std::exception& error) {
    const auto* model = dynamic_cast<const ModelError*>(&error);
    return model && (model->kind() == ModelError::Kind::modelNotFound || model->kind() == ModelError::Kind::invalidModel);
}

}  // namespace platform::ml
