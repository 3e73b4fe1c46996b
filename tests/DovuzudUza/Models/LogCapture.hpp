#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "DovuzudUza/Core/EngineLog.hpp"

namespace DovuzudUza::test_support {

// Collects the speech model's log lines while alive.
class LogCapture {
public:
    LogCapture() {
        previous_ = engine_log::setSink([this](engine_log::Level level, const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(level, line);
        });
    }
    ~LogCapture() { engine_log::setSink(std::move(previous_)); }

    std::vector<std::pair<engine_log::Level, std::string>> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& [level, text] : lines()) out.push_back(text);
        return out;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<engine_log::Level, std::string>> lines_;
    engine_log::Sink previous_;
};

}  // namespace DovuzudUza::test_support
