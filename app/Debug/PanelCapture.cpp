#include "app/Debug/PanelCapture.hpp"

#include <cmath>

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "app/Debug/Snapshot.hpp"
#include "app/Overlay/MenuBarExtra.hpp"
#include "app/Support/Log.hpp"
#include "platform/foundation/Error.hpp"

namespace Parlox {
namespace {

std::string frameText(const QRect& r) {
    return "(" + std::to_string(r.x()) + ", " + std::to_string(r.y()) + ", " + std::to_string(r.width()) + ", " +
           std::to_string(r.height()) + ")";
}

std::string className(const QWidget& window) {
    std::string name = window.metaObject()->className();
    const auto colon = name.rfind(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

// The sequence of clicks and captures, one step per timer.
struct Run : std::enable_shared_from_this<Run> {
    std::filesystem::path output;
    StatusItem* item;
    PanelCapture::KeepAwakeSwitch keepAwake;
    std::shared_ptr<platform::Scheduler> scheduler;
    platform::TimerHandle pending;

    void after(double seconds, void (Run::*step)()) {
        pending = scheduler->after(seconds, [self = shared_from_this(), step] { ((*self).*step)(); });
    }
    void start() {
        if (!item->hasButton()) {
            Log::error("Captura del panel: no hay icono");
            return;
        }
        item->performClick();
        after(0.6, &Run::opened);
    }
    void opened() {
        PanelCapture::capture(PanelCapture::fileFor(output, "1-cargando"));
        item->performClick();
        after(4.0, &Run::closed);
    }
    void closed() {
        item->performClick();
        after(1.0, &Run::reopened);
    }
    void reopened() {
        PanelCapture::capture(PanelCapture::fileFor(output, "2-reabierto"));
        keepAwake.set(!keepAwake.isOn());
        after(1.0, &Run::flipped);
    }
    void flipped() {
        PanelCapture::capture(PanelCapture::fileFor(output, "3-despierto"));
        keepAwake.set(!keepAwake.isOn());
        item->performClick();
    }
};

}  // namespace

std::filesystem::path PanelCapture::fileFor(const std::filesystem::path& output, const std::string& state) {
    std::filesystem::path file = output;
    file.replace_extension();
    file += "." + state + ".png";
    return file;
}

int PanelCapture::level(const QWidget& window) {
    const Qt::WindowFlags flags = window.windowFlags();
    const Qt::WindowType type = window.windowType();
    if (type == Qt::Popup) return 101;
    if (type == Qt::ToolTip) return 25;
    if (flags & Qt::WindowStaysOnTopHint) return 3;
    return 0;
}

QWidget* PanelCapture::findPanel() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->width() >= 300 && level(*window) != 0) return window;
    }
    return nullptr;
}

void PanelCapture::capture(const std::filesystem::path& file) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) continue;
        Log::info("Captura del panel: " + className(*window) + " " + frameText(window->frameGeometry()) + " nivel " +
                  std::to_string(level(*window)));
    }
    QWidget* panel = findPanel();
    QScreen* screen = panel ? panel->screen() : nullptr;
    if (!panel || !screen) {
        Log::error("Captura del panel: no se abri\u00F3");
        return;
    }
    const QRect region = panel->frameGeometry().adjusted(-30, -30, 30, 30);
    const QRect onScreen = region.translated(-screen->geometry().topLeft());
    const QPixmap shot = screen->grabWindow(0, onScreen.x(), onScreen.y(), onScreen.width(), onScreen.height());
    if (shot.isNull()) {
        Log::error("Captura del panel: no se pudo capturar la pantalla");
        return;
    }
    const double scale = screen->devicePixelRatio();
    const QImage image = shot.toImage().scaled(int(region.width() * scale), int(region.height() * scale));
    const QByteArray png = Snapshot::png(image);
    if (png.isEmpty()) {
        Log::error("Captura del panel: la imagen no se pudo convertir a PNG");
        return;
    }
    try {
        Snapshot::write(png, file);
        Log::info("Captura del panel: " + file.string());
    } catch (const platform::Error& error) {
        Log::error("Captura del panel: " + error.localizedDescription());
    }
}

void PanelCapture::run(const std::filesystem::path& output, StatusItem& item, KeepAwakeSwitch keepAwake,
                       std::shared_ptr<platform::Scheduler> scheduler) {
    auto run = std::make_shared<Run>();
    run->output = output;
    run->item = &item;
    run->keepAwake = std::move(keepAwake);
    run->scheduler = scheduler;
    run->pending = scheduler->after(0.3, [run] { run->start(); });
}

}  // namespace Parlox
