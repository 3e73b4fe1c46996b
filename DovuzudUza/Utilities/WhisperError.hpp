#pragma once

#include <string>

#include "platform/foundation/Error.hpp"

namespace DovuzudUza {

// The engine's one error type: a case saying where the failure arose and a
// message. Equal when case and message are equal. what() is the bare message
// and does not log; errorDescription() logs it at error level first.
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

    static WhisperError tokenizerUnavailable(std::string m) { return {Kind::tokenizerUnavailable, std::move(m)}; }
    static WhisperError modelsUnavailable(std::string m) { return {Kind::modelsUnavailable, std::move(m)}; }
    static WhisperError audioProcessingFailed(std::string m) { return {Kind::audioProcessingFailed, std::move(m)}; }
    static WhisperError decodingLogitsFailed(std::string m) { return {Kind::decodingLogitsFailed, std::move(m)}; }
    static WhisperError segmentingFailed(std::string m) { return {Kind::segmentingFailed, std::move(m)}; }
    static WhisperError loadAudioFailed(std::string m) { return {Kind::loadAudioFailed, std::move(m)}; }
    static WhisperError prepareDecoderInputsFailed(std::string m) {
        return {Kind::prepareDecoderInputsFailed, std::move(m)};
    }
    static WhisperError transcriptionFailed(std::string m) { return {Kind::transcriptionFailed, std::move(m)}; }
    static WhisperError decodingFailed(std::string m) { return {Kind::decodingFailed, std::move(m)}; }
    static WhisperError microphoneUnavailable(std::string m) { return {Kind::microphoneUnavailable, std::move(m)}; }
    static WhisperError initializationError(std::string m) { return {Kind::initializationError, std::move(m)}; }

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
