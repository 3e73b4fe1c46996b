#pragma once

#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/WindowScreenshot.hpp"

namespace platform::desktop {

// Window pictures for tests: a permission flag, a list of capturable
// windows, plain grey pictures of the size asked for, and a stand-in JPEG
// writer that stores "JPEG <width>x<height> q<quality>" so tests can read
// back what was written. Listing, capturing and writing can be made to fail.
class FakeWindowScreenshot final : public WindowScreenshot {
public:
    struct Capture {
        uint32_t windowNumber;
        int width;
        int height;
        friend bool operator==(const Capture&, const Capture&) = default;
    };

    bool allowed = true;
    bool grantsOnRequest = false;
    bool failList = false;
    bool failCapture = false;
    bool failWrite = false;

    void setWindows(std::vector<CapturableWindow> windows) {
        std::lock_guard lock(mutex_);
        windows_ = std::move(windows);
    }
    std::vector<Capture> captures() const {
        std::lock_guard lock(mutex_);
        return captures_;
    }
    int accessRequests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    // Reads back what writeJPEG stored: the picture's size, or none.
    static std::optional<std::pair<int, int>> storedSize(const std::filesystem::path& path) {
        std::ifstream in(path);
        std::string tag, size;
        if (!(in >> tag >> size) || tag != "JPEG") return std::nullopt;
        auto x = size.find('x');
        if (x == std::string::npos) return std::nullopt;
        return std::make_pair(std::stoi(size.substr(0, x)), std::stoi(size.substr(x + 1)));
    }

    bool isCaptureAllowed() override {
        std::lock_guard lock(mutex_);
        return allowed;
    }
    bool requestCaptureAccess() override {
        std::lock_guard lock(mutex_);
        ++requests_;
        if (grantsOnRequest) allowed = true;
        return allowed;
    }
    std::vector<CapturableWindow> capturableWindows() override {
        std::lock_guard lock(mutex_);
        if (failList) throw DesktopError(DesktopError::Kind::unavailable, "the windows cannot be listed");
        return windows_;
    }
    Image capture(const CapturableWindow& window, int width, int height) override {
        std::lock_guard lock(mutex_);
        if (failCapture) throw DesktopError(DesktopError::Kind::failed, "the window cannot be captured");
        captures_.push_back({window.windowNumber, width, height});
        Image image;
        image.width = width;
        image.height = height;
        image.rgba.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 128);
        return image;
    }
    void writeJPEG(const Image& image, const std::filesystem::path& path, double quality) override {
        if (failWrite) throw DesktopError(DesktopError::Kind::fileWriteFailed, path.string());
        std::ofstream out(path);
        out << "JPEG " << image.width << "x" << image.height << " q" << static_cast<int>(quality * 100 + 0.5);
        if (!out) throw DesktopError(DesktopError::Kind::fileWriteFailed, path.string());
    }

private:
    mutable std::mutex mutex_;
    std::vector<CapturableWindow> windows_;
    std::vector<Capture> captures_;
    int requests_ = 0;
};

}  // namespace platform::desktop
