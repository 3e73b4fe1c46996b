#pragma once

#include <filesystem>
#include <optional>

#include <QByteArray>
#include <QColor>
#include <QImage>

#include "app/Overlay/Theme.hpp"

class QWidget;

namespace Parlox {

// What the still-image renderers share: file names per scheme, rendering a
// widget off screen at a scale, and writing PNG files.
struct Snapshot {
    // "claro" for the light scheme, "oscuro" for the dark one.
    static const char* suffix(const Theme& theme);

    // Lays the widget out and renders it, with its children, at `scale`
    // pixels per point, over `background` when given (else transparent).
    static QImage render(QWidget& widget, double scale, std::optional<QColor> background = std::nullopt);

    // PNG bytes; empty when the image cannot be encoded.
    static QByteArray png(const QImage& image);
    // Writes the PNG bytes to `file`, replacing what is there. Throws platform::FileError.
    static void write(const QByteArray& png, const std::filesystem::path& file);
    // Creates the folder with its missing parents. Throws platform::FileError.
    static void prepareFolder(const std::filesystem::path& folder);
};

// Makes sure a GUI application object exists for off-screen rendering from
// the command line. With no display at all it renders off screen.
class RenderingSession {
public:
    RenderingSession();
    ~RenderingSession();
    RenderingSession(const RenderingSession&) = delete;
    RenderingSession& operator=(const RenderingSession&) = delete;

private:
    struct Owned;
    Owned* owned_ = nullptr;
};

}  // namespace Parlox
