#include "DovuzudUza/Utilities/WhisperError.hpp"

#include "DovuzudUza/Core/EngineLog.hpp"

namespace DovuzudUza {

std::string WhisperError::errorDescription() const {
    engine_log::error(message_);
    return message_;
}

}  // namespace DovuzudUza
