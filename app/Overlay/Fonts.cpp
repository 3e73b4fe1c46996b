#include "app/Overlay/Fonts.hpp"

namespace Parlox {
namespace {
constexpr double menuFontSize = 13;
}

const char* Fonts::family() { return "DejaVu Sans"; }

QFont Fonts::system(double pixelSize, QFont::Weight weight) {
    QFont font(QString::fromLatin1(family()));
    font.setPixelSize(qRound(pixelSize));
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont Fonts::menuItem() { return system(menuFontSize); }
QFont Fonts::menuDetail() { return system(menuFontSize - 2); }
QFont Fonts::menuProminent() { return system(menuFontSize, QFont::Medium); }

}  // namespace Parlox
