#include "app/Debug/Snapshot.hpp"

#include <cmath>
#include <cstdlib>
#include <string_view>

#include <QApplication>
#include <QBuffer>
#include <QLayout>
#include <QPainter>
#include <QWidget>

#include "app/App/QtMessageLog.hpp"
#include "platform/foundation/FileManager.hpp"

namespace Parlox {

const char* Snapshot::suffix(const Theme& theme) { return theme.dark ? "oscuro" : "claro"; }

QImage Snapshot::render(QWidget& widget, double scale, std::optional<QColor> background) {
    widget.ensurePolished();
    if (QLayout* layout = widget.layout()) layout->activate();
    if (widget.size().isEmpty()) widget.adjustSize();
    const QSize size = widget.size();
    QImage image(QSize(int(std::ceil(size.width() * scale)), int(std::ceil(size.height() * scale))),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(background.value_or(Qt::transparent));
    QPainter painter(&image);
    widget.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    painter.end();
    return image;
}

QByteArray Snapshot::png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) return {};
    return bytes;
}

void Snapshot::write(const QByteArray& png, const std::filesystem::path& file) {
    platform::FileManager::writeAtomically(file, std::string_view(png.constData(), size_t(png.size())), 0644);
}

void Snapshot::prepareFolder(const std::filesystem::path& folder) {
    platform::FileManager::createDirectories(folder);
}

struct RenderingSession::Owned {
    int argc = 1;
    char name[7] = "parlox";
    char* argv[2] = {name, nullptr};
    QApplication application{argc, argv};
};

RenderingSession::RenderingSession() {
    if (QCoreApplication::instance()) return;
    const bool noDisplay = !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
    if (!std::getenv("QT_QPA_PLATFORM") && noDisplay) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QtMessageLog::install();
    owned_ = new Owned();
}

RenderingSession::~RenderingSession() { delete owned_; }

}  // namespace Parlox
