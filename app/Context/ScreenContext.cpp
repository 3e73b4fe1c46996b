#include "app/Context/ScreenContext.hpp"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "app/Support/Log.hpp"
#include "app/System/Permissions.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/foundation/UUID.hpp"

namespace Parlox {
ScreenContext::ScreenContext(std::shared_ptr<platform::desktop::Workspace> workspace,
                             std::shared_ptr<platform::desktop::WindowScreenshot> screenshots)
    : workspace_(std::move(workspace)), screenshots_(std::move(screenshots)) {}

const std::filesystem::path& ScreenContext::folder() {
    static const std::filesystem::path path = platform::Paths::temporaryDirectory() / "parlox-screens";
    return path;
}

void ScreenContext::discardAll() {
    std::error_code ignored;
    std::filesystem::remove_all(folder(), ignored);
}

std::optional<uint32_t> ScreenContext::frontWindow(const std::vector<platform::desktop::WindowInfo>& windows,
                                                   int32_t pid) {
    for (const auto& window : windows)
        if (window.ownerProcessId == pid && window.layer == 0) return window.windowNumber;
    return std::nullopt;
}

std::pair<int, int> ScreenContext::pictureSize(const platform::desktop::CapturableWindow& window) {
    const double width = window.frame.width * window.scale;
    const double height = window.frame.height * window.scale;
    const double longer = std::max(width, height);
    const double factor = longer > 0 ? std::min(1.0, maxPixels / longer) : 1.0;
    return {static_cast<int>(std::trunc(width * factor)), static_cast<int>(std::trunc(height * factor))};
}

std::optional<std::filesystem::path> ScreenContext::capture(int32_t pid) {
    if (ScreenRecordingPermission::state(*screenshots_) != PermissionState::granted) return std::nullopt;
    const auto number = frontWindow(workspace_->windowList(), pid);
    if (!number) {
        Log::info("Captura: la app no tiene ventana visible");
        return std::nullopt;
    }
    try {
        const auto windows = screenshots_->capturableWindows();
        auto window = std::find_if(windows.begin(), windows.end(),
                                   [&](const auto& w) { return w.windowNumber == *number; });
        if (window == windows.end()) return std::nullopt;
        const auto [width, height] = pictureSize(*window);
        return write(screenshots_->capture(*window, width, height));
    } catch (const std::exception& error) {
        Log::error("Captura fallida: " + platform::localizedDescription(error));
        return std::nullopt;
    }
}

std::filesystem::path ScreenContext::write(const platform::desktop::Image& image) {
    // The pictures show the user's windows: a private folder, private files.
    platform::FileManager::createPrivateDirectory(folder());
    const auto path = folder() / (platform::UUID().uuidString() + ".jpg");
    screenshots_->writeJPEG(image, path, jpegQuality);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return path;
}

}  // namespace Parlox
