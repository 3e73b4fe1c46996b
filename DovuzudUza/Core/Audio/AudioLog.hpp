#pragma once

#include <string>

#include "DovuzudUza/Core/EngineLog.hpp"

namespace DovuzudUza::AudioLog {

// The audio front end writes through the engine's log.
inline void debug(const std::string& message) { engine_log::debug(message); }
inline void info(const std::string& message) { engine_log::info(message); }
inline void error(const std::string& message) { engine_log::error(message); }

// Numbers in its lines go through platform/foundation/NumberFormat.hpp.

}  // namespace DovuzudUza::AudioLog
