#include "app/Overlay/Theme.hpp"

#include <QGuiApplication>

namespace Parlox {

Theme Theme::current() {
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return Theme{window.lightnessF() < 0.5};
}

QColor Theme::ink(double opacity) const {
    return dark ? QColor::fromRgbF(1, 1, 1, float(opacity)) : QColor::fromRgbF(0, 0, 0, float(opacity));
}

QColor Theme::primary() const { return ink(0.85); }
QColor Theme::secondary() const { return ink(dark ? 0.55 : 0.50); }
QColor Theme::tertiary() const { return ink(dark ? 0.25 : 0.26); }
QColor Theme::quaternary() const { return ink(0.10); }

QColor Theme::red() const {
    return dark ? QColor::fromRgbF(1.00f, 0.27f, 0.23f) : QColor::fromRgbF(1.00f, 0.23f, 0.19f);
}

QColor Theme::orange() const {
    return dark ? QColor::fromRgbF(1.00f, 0.62f, 0.04f) : QColor::fromRgbF(1.00f, 0.58f, 0.00f);
}

QColor Theme::green() const {
    return dark ? QColor::fromRgbF(0.19f, 0.82f, 0.35f) : QColor::fromRgbF(0.20f, 0.78f, 0.35f);
}

QPalette Theme::palette() const {
    const QColor window = dark ? QColor(0x26, 0x26, 0x28) : QColor(0xEC, 0xEC, 0xEC);
    const QColor base = dark ? QColor(0x1E, 0x1E, 0x20) : QColor(0xFF, 0xFF, 0xFF);
    const QColor text = primary();
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, dark ? QColor(0x3A, 0x3A, 0x3C) : QColor(0xFF, 0xFF, 0xFF));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::PlaceholderText, secondary());
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Highlight, QColor(0x0A, 0x84, 0xFF));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Light, dark ? QColor(0x48, 0x48, 0x4A) : QColor(0xFF, 0xFF, 0xFF));
    p.setColor(QPalette::Mid, dark ? QColor(0x38, 0x38, 0x3A) : QColor(0xC8, 0xC8, 0xC8));
    p.setColor(QPalette::Dark, dark ? QColor(0x18, 0x18, 0x1A) : QColor(0xA0, 0xA0, 0xA0));
    p.setColor(QPalette::Disabled, QPalette::WindowText, tertiary());
    p.setColor(QPalette::Disabled, QPalette::Text, tertiary());
    p.setColor(QPalette::Disabled, QPalette::ButtonText, tertiary());
    return p;
}

}  // namespace Parlox
