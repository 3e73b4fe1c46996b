#pragma once

#include <string>

#include "ZezeziCore/Logging.hpp"

namespace DovuzudUza::engine_log {

// The speech engine's log lines, written through the engine's shared logger.
inline void debug(const std::string& message) { ZezeziCore::Logging::debug(message); }
inline void info(const std::string& message) { ZezeziCore::Logging::info(message); }
inline void error(const std::string& message) { ZezeziCore::Logging::error(message); }

}  // namespace DovuzudUza::engine_log
