#include "app/Overlay/OverlayPlacement.hpp"

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>

namespace Parlox {

QRectF OverlayPlacement::visibleFrame(const QRectF& a, const std::vector<Screen>& screens,
                                      std::optional<size_t> mainScreen) {
    const QPointF middle = a.center();
    for (const Screen& screen : screens) {
        const QRectF& f = screen.frame;
        // Half-open, so a point on a shared edge belongs to one screen only.
        if (middle.x() >= f.left() && middle.x() < f.right() && middle.y() >= f.top() && middle.y() < f.bottom())
            return screen.visibleFrame;
    }
    if (mainScreen && *mainScreen < screens.size()) return screens[*mainScreen].visibleFrame;
    return QRectF();
}

QRectF OverlayPlacement::frame(const QRectF& a, const std::vector<Screen>& screens, std::optional<size_t> mainScreen) {
    const QRectF v = visibleFrame(a, screens, mainScreen);
    double x = a.left() - leadOffset - margin;
    double top = a.bottom() + gap - margin;
    if (top + panelHeight > v.bottom()) top = a.top() - gap + margin - panelHeight;
    x = std::max(x, v.left() + gap);
    x = std::min(x, v.right() - panelWidth - gap);
    // The top inset is applied last and wins on a very low visible area.
    top = std::min(top, v.bottom() - panelHeight - gap);
    top = std::max(top, v.top() + gap);
    return QRectF(x, top, panelWidth, panelHeight);
}

std::vector<OverlayPlacement::Screen> OverlayPlacement::currentScreens() {
    std::vector<Screen> screens;
    for (QScreen* screen : QGuiApplication::screens())
        screens.push_back(Screen{QRectF(screen->geometry()), QRectF(screen->availableGeometry())});
    return screens;
}

std::optional<size_t> OverlayPlacement::currentMainScreen() {
    const QList<QScreen*> screens = QGuiApplication::screens();
    const qsizetype index = screens.indexOf(QGuiApplication::primaryScreen());
    if (index < 0) return std::nullopt;
    return size_t(index);
}

}  // namespace Parlox
