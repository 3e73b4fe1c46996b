#pragma once

#include <string>

#include "platform/foundation/Error.hpp"

namespace DovuzudUza {

// The engine's one error type: a case saying where the failure arose and a message.
class WhisperError : public platform::Error {
public:
    enum class Kind {
        tokenizerUnavailable,
        modelsUnavailable,
        audioProcessingFailed,
        decodingLogitsFailed,
        segmentingFailed,
        loadAudioFailed,
        prepareDecoderInputsFailed,
        transcriptionFailed,
        decodingFailed,
        microphoneUnavailable,
        initializationError,
    };

    WhisperError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

    static WhisperError modelsUnavailable(std::string m) { return {Kind::modelsUnavailable, std::move(m)}; }
    static WhisperError audioProcessingFailed(std::string m) { return {Kind::audioProcessingFailed, std::move(m)}; }
    static WhisperError loadAudioFailed(std::string m) { return {Kind::loadAudioFailed, std::move(m)}; }

    Kind kind() const { return kind_; }
    const std::string& message() const { return message_; }

    // The bare message.
    std::string description() const override { return message_; }
    // The message, written to the engine log at error level first.
    std::string errorDescription() const;
    std::string localizedDescription() const override { return errorDescription(); }

    bool operator==(const WhisperError& other) const { return kind_ == other.kind_ && message_ == other.message_; }

private:
    Kind kind_;
    std::string message_;
};

}  // namespace DovuzudUza
