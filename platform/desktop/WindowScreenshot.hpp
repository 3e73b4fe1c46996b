#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/foundation/Geometry.hpp"

namespace platform::desktop {

// A picture in memory: rows of 8-bit RGBA pixels, top row first.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;  // width * height * 4 bytes
};

// A window that can be photographed, with its frame in screen units and the
// pixels per unit of the screen it is on.
struct CapturableWindow {
    uint32_t windowNumber = 0;
    Rect frame;
    double scale = 1;

    friend bool operator==(const CapturableWindow&, const CapturableWindow&) = default;
};

// Photographs single windows. Thread-safe; the throwing calls throw DesktopError.
class WindowScreenshot {
public:
    virtual ~WindowScreenshot() = default;

    // Whether this process may capture the screen (never prompts).
    virtual bool isCaptureAllowed() = 0;
    // Asks the desktop for that permission; the answer at the time of the call.
    virtual bool requestCaptureAccess() = 0;

    // The on-screen windows that can be captured.
    virtual std::vector<CapturableWindow> capturableWindows() = 0;
    // The window's picture scaled to width x height pixels, without the pointer.
    virtual Image capture(const CapturableWindow& window, int width, int height) = 0;
    // Stores `image` as a JPEG file at `path` with a quality from 0 to 1.
    virtual void writeJPEG(const Image& image, const std::filesystem::path& path, double quality) = 0;
};

}  // namespace platform::desktop
