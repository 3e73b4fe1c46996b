#pragma once

#include <string>

#include "platform/foundation/Error.hpp"

namespace platform::audio {

// Failures of the audio layer: files that cannot be opened or decoded,
// converters that cannot be made, capture that cannot start.
class AudioError : public platform::Error {
public:
    enum class Kind {
        fileNotFound,
        openFailed,
        noAudioStream,
        decoderUnavailable,
        readFailed,
        seekFailed,
        converterFailed,
        captureFailed,
    };

    AudioError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

    Kind kind() const { return kind_; }
    const std::string& message() const { return message_; }

    std::string description() const override { return message_; }

private:
    Kind kind_;
    std::string message_;
};

}  // namespace platform::audio
