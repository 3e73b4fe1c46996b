#pragma once

#include <QFont>

namespace Parlox {

// Fonts are sized in pixels: a size in points of the design is one device
// independent pixel here, whatever the screen's dots per inch.
struct Fonts {
    // The family every view uses; it has equal-width digits.
    static const char* family();
    static QFont system(double pixelSize, QFont::Weight weight = QFont::Normal);

    // The menu panel's three fonts.
    static QFont menuItem();       // 13
    static QFont menuDetail();     // 11
    static QFont menuProminent();  // 13, medium
};

}  // namespace Parlox
