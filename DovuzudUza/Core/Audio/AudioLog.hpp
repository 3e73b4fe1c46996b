#pragma once

#include <string>

#include "DovuzudUza/Core/EngineLog.hpp"

namespace DovuzudUza::AudioLog {

// The audio front end writes through the engine's log.
inline void debug(const std::string& message) { engine_log::debug(message); }
inline void info(const std::string& message) { engine_log::info(message); }
inline void error(const std::string& message) { engine_log::error(message); }

// Shortest text that reads back to the same value, with ".0" on whole numbers ("16000.0", "2.5").
std::string number(double value);
std::string number(float value);
// "%.2f", independent of the locale.
std::string fixed2(double value);

}  // namespace DovuzudUza::AudioLog
