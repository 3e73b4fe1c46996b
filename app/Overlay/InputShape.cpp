#include "app/Overlay/InputShape.hpp"

#include <vector>

#include <QGuiApplication>
#include <QTransform>
#include <QWidget>

// After the toolkit's headers: Xlib's macros would clash with them.
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

namespace Parlox {

void setInputShape(QWidget& window, const QRegion& region) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display()) return;
    Display* display = x11->display();
    int event = 0, error = 0;
    if (!XShapeQueryExtension(display, &event, &error)) return;
    // The shape is in the display's pixels.
    const double scale = window.devicePixelRatioF();
    const QRegion pixels = QTransform::fromScale(scale, scale).map(region);
    std::vector<XRectangle> rectangles;
    for (const QRect& r : pixels)
        rectangles.push_back({static_cast<short>(r.x()), static_cast<short>(r.y()),
                              static_cast<unsigned short>(r.width()), static_cast<unsigned short>(r.height())});
    XShapeCombineRectangles(display, static_cast<Window>(window.winId()), ShapeInput, 0, 0, rectangles.data(),
                            static_cast<int>(rectangles.size()), ShapeSet, Unsorted);
    XFlush(display);
}

}  // namespace Parlox
