#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ZezeziCore/Logging.hpp"

namespace DovuzudUza::test_support {

// Collects the engine's log lines at `level` and above while alive.
class LogCapture {
public:
    explicit LogCapture(ZezeziCore::Logging::LogLevel level = ZezeziCore::Logging::LogLevel::debug)
        : previousLevel_(ZezeziCore::Logging::shared().logLevel()),
          previousCallback_(ZezeziCore::Logging::shared().loggingCallback()) {
        ZezeziCore::Logging::updateCallback([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        });
        ZezeziCore::Logging::updateLogLevel(level);
    }
    ~LogCapture() {
        ZezeziCore::Logging::updateLogLevel(previousLevel_);
        ZezeziCore::Logging::updateCallback(previousCallback_);
    }

    std::vector<std::string> texts() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    ZezeziCore::Logging::LogLevel previousLevel_;
    ZezeziCore::Logging::Callback previousCallback_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace DovuzudUza::test_support
