#pragma once

#include <memory>
#include <mutex>

#include "platform/desktop/WindowScreenshot.hpp"

namespace platform::desktop {

class X11Desktop;

// Window pictures on X11: the window's area read from the screen (what is
// visible of it), scaled and stored as JPEG through Qt. X11 asks no
// permission; under Wayland capture is not allowed and says so in the log.
class X11WindowScreenshot final : public WindowScreenshot {
public:
    X11WindowScreenshot();
    ~X11WindowScreenshot() override;

    bool isCaptureAllowed() override;
    bool requestCaptureAccess() override;
    std::vector<CapturableWindow> capturableWindows() override;
    // Throws DesktopError (failed) when the window cannot be read.
    Image capture(const CapturableWindow& window, int width, int height) override;
    // Written owner-only (0600); throws DesktopError (fileWriteFailed).
    void writeJPEG(const Image& image, const std::filesystem::path& path, double quality) override;

private:
    X11Desktop* desktop();

    std::mutex mutex_;
    std::unique_ptr<X11Desktop> desktop_;
};

}  // namespace platform::desktop
