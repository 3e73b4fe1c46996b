#pragma once

#include <chrono>
#include <memory>
#include <mutex>

#include "platform/desktop/WindowScreenshot.hpp"

namespace platform::desktop {

class X11Desktop;
class X11WindowContents;
struct WindowPixels;

// Window pictures on X11: the window's own contents (never what covers it),
// scaled and stored as JPEG through Qt. X11 asks no permission; under
// Wayland capture is not allowed and says so in the log.
class X11WindowScreenshot final : public WindowScreenshot {
public:
    // How long a program may take to draw the parts of its window that were covered.
    static constexpr std::chrono::milliseconds repaintLimit{2000};

    X11WindowScreenshot();
    ~X11WindowScreenshot() override;

    bool isCaptureAllowed() override;
    bool requestCaptureAccess() override;
    // Throws DesktopError when the windows cannot be listed (no display, or
    // the X server closed the connection).
    std::vector<CapturableWindow> capturableWindows() override;
    // Throws DesktopError when the window's own contents cannot be had.
    Image capture(const CapturableWindow& window, int width, int height) override;
    // Written owner-only (0600); throws DesktopError (fileWriteFailed).
    void writeJPEG(const Image& image, const std::filesystem::path& path, double quality) override;

private:
    X11Desktop* desktop();
    // Throws DesktopError when the X server closed the connection, and lets
    // it go so the next call connects again.
    void requireConnection();
    // The window's own pixels; throws DesktopError.
    WindowPixels windowPixels(uint32_t window);

    std::mutex mutex_;
    std::unique_ptr<X11Desktop> desktop_;
    std::unique_ptr<X11WindowContents> contents_;
};

}  // namespace platform::desktop
