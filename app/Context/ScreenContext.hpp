#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/desktop/WindowScreenshot.hpp"
#include "platform/desktop/Workspace.hpp"

namespace Parlox {

// The picture of the front window of the application being dictated into,
// handed to the writing tool as context: scaled so that its longer side is
// at most 1600 pixels, stored as a JPEG in a private temporary folder.
class ScreenContext {
public:
    static constexpr double maxPixels = 1600;
    static constexpr double jpegQuality = 0.8;

    ScreenContext(std::shared_ptr<platform::desktop::Workspace> workspace,
                  std::shared_ptr<platform::desktop::WindowScreenshot> screenshots);

    // The stored picture's file, or none (the user has not said yes, no
    // X11 session, no visible window, a failure, which is logged). Blocks:
    // call it off the main thread.
    std::optional<std::filesystem::path> capture(int32_t pid);

    // Deletes the folder with every picture in it; errors are ignored.
    static void discardAll();
    // "parlox-screens" in the private temporary area, fixed on first use.
    static const std::filesystem::path& folder();

    // The first ordinary (layer 0) window of `pid` in front-to-back order.
    static std::optional<uint32_t> frontWindow(const std::vector<platform::desktop::WindowInfo>& windows, int32_t pid);
    // The picture's size: the window's pixels, shrunk (never enlarged) so the
    // longer side is at most 1600, each side truncated.
    static std::pair<int, int> pictureSize(const platform::desktop::CapturableWindow& window);

private:
    std::filesystem::path write(const platform::desktop::Image& image);

    std::shared_ptr<platform::desktop::Workspace> workspace_;
    std::shared_ptr<platform::desktop::WindowScreenshot> screenshots_;
};

}  // namespace Parlox
