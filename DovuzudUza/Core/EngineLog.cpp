#include "DovuzudUza/Core/EngineLog.hpp"

#include <mutex>

namespace DovuzudUza::engine_log {

namespace {
std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}
Sink& currentSink() {
    static Sink s;
    return s;
}
void emit(Level level, const std::string& message) {
    Sink sink;
    {
        std::lock_guard lock(sinkMutex());
        sink = currentSink();
    }
    if (sink) sink(level, message);
}
}  // namespace

void debug(const std::string& message) { emit(Level::debug, message); }
void info(const std::string& message) { emit(Level::info, message); }
void error(const std::string& message) { emit(Level::error, message); }

Sink setSink(Sink sink) {
    std::lock_guard lock(sinkMutex());
    Sink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

}  // namespace DovuzudUza::engine_log
