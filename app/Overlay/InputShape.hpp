#pragma once

#include <QRegion>

class QWidget;

namespace Parlox {

// Where a top-level window takes the pointer: within `region` (in the
// window's coordinates) only; clicks elsewhere go to the windows below it,
// whether or not the window is drawn translucent. On X11 through the shape
// extension's input shape; elsewhere nothing changes.
void setInputShape(QWidget& window, const QRegion& region);

}  // namespace Parlox
