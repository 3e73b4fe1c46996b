#include "DovuzudUza/Core/Audio/WhisperError.hpp"

#include "DovuzudUza/Core/Audio/AudioLog.hpp"

namespace DovuzudUza {

std::string WhisperError::errorDescription() const {
    AudioLog::error(message_);
    return message_;
}

}  // namespace DovuzudUza
