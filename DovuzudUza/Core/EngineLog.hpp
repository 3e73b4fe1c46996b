#pragma once

#include <functional>
#include <string>

namespace DovuzudUza::engine_log {

enum class Level { debug = 1, info = 2, error = 3 };

// Log lines of the speech data model. They go to the engine's shared logger;
// until that lands they go to the sink below (none by default: dropped).
void debug(const std::string& message);
void info(const std::string& message);
void error(const std::string& message);

using Sink = std::function<void(Level, const std::string&)>;
// Replaces the sink; returns the previous one.
Sink setSink(Sink sink);

}  // namespace DovuzudUza::engine_log
