#include "platform/desktop/X11WindowScreenshot.hpp"

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <cmath>

#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/X11Desktop.hpp"
#include "platform/desktop/X11WindowContents.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/input/SessionType.hpp"
#include "platform/log/SystemLog.hpp"

namespace platform::desktop {

namespace {

const SystemLogger& log() {
    static const SystemLogger logger("Parlox", "screenshot");
    return logger;
}

}  // namespace

X11WindowScreenshot::X11WindowScreenshot() = default;
X11WindowScreenshot::~X11WindowScreenshot() = default;

X11Desktop* X11WindowScreenshot::desktop() {
    if (!desktop_) desktop_ = std::make_unique<X11Desktop>();
    return desktop_.get();
}

void X11WindowScreenshot::requireConnection() {
    if (!desktop()->connectionLost()) return;
    // Dropped, so the next call connects afresh: a server that dropped only
    // this client, or came back, gives pictures again.
    contents_.reset();
    desktop_.reset();
    throw DesktopError(DesktopError::Kind::unavailable, "the X server closed the connection");
}

WindowPixels X11WindowScreenshot::windowPixels(uint32_t window) {
    try {
        if (!contents_) contents_ = std::make_unique<X11WindowContents>(desktop()->display());
        return contents_->read(window, repaintLimit);
    } catch (const DesktopError&) {
        // A connection that broke on the way is the reason, not what failed after it.
        requireConnection();
        throw;
    }
}

bool X11WindowScreenshot::isCaptureAllowed() {
    if (input::waylandWithoutX11()) {
        static std::once_flag logged;
        std::call_once(logged, [] { log().error("Wayland session: window pictures need X11"); });
        return false;
    }
    std::lock_guard lock(mutex_);
    try {
        desktop();
        return true;
    } catch (const DesktopError&) {
        return false;
    }
}

bool X11WindowScreenshot::requestCaptureAccess() { return isCaptureAllowed(); }

std::vector<CapturableWindow> X11WindowScreenshot::capturableWindows() {
    std::lock_guard lock(mutex_);
    std::vector<CapturableWindow> out;
    const auto windows = desktop()->windowsFrontToBack();
    // A broken connection lists nothing, which is not the same as no window.
    requireConnection();
    for (const auto& window : windows) {
        if (!window.viewable) continue;
        out.push_back(CapturableWindow{static_cast<uint32_t>(window.id), window.frame, 1.0});
    }
    return out;
}

Image X11WindowScreenshot::capture(const CapturableWindow& window, int width, int height) {
    std::lock_guard lock(mutex_);
    if (width <= 0 || height <= 0) throw DesktopError(DesktopError::Kind::failed, "empty picture size");
    requireConnection();
    const WindowPixels own = windowPixels(window.windowNumber);
    const QImage source(reinterpret_cast<const uchar*>(own.pixels.data()), own.width, own.height, own.width * 4,
                        QImage::Format_RGB32);
    const QImage scaled = source.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_RGBA8888);
    Image out;
    out.width = scaled.width();
    out.height = scaled.height();
    out.rgba.resize(static_cast<size_t>(out.width) * out.height * 4);
    for (int y = 0; y < out.height; ++y)
        std::copy_n(scaled.constScanLine(y), out.width * 4, out.rgba.data() + static_cast<size_t>(y) * out.width * 4);
    return out;
}

void X11WindowScreenshot::writeJPEG(const Image& image, const std::filesystem::path& path, double quality) {
    if (image.width <= 0 || image.height <= 0 ||
        image.rgba.size() < static_cast<size_t>(image.width) * image.height * 4)
        throw DesktopError(DesktopError::Kind::fileWriteFailed, path.string() + ": no picture");
    const QImage picture(image.rgba.data(), image.width, image.height, image.width * 4, QImage::Format_RGBA8888);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const int q = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100));
    if (!picture.convertToFormat(QImage::Format_RGB888).save(&buffer, "JPG", q))
        throw DesktopError(DesktopError::Kind::fileWriteFailed, path.string() + ": JPEG encoding failed");
    try {
        FileManager::writeAtomically(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), 0600);
    } catch (const std::exception& e) {
        throw DesktopError(DesktopError::Kind::fileWriteFailed, path.string() + ": " + e.what());
    }
}

}  // namespace platform::desktop
