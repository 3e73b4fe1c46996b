#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QColor>
#include <QImage>

namespace ui_test {

// One off-screen application per test process.
inline QApplication& application() {
    static int argc = 1;
    static char name[] = "parlox-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // The off-screen platform says so for every window it cannot raise or resize hints of.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            if (!message.startsWith("This plugin does not support") && !message.contains("systemTrayWindowChanged"))
                std::fprintf(stderr, "%s\n", qPrintable(message));
        });
        return new QApplication(argc, argv);
    }();
    return *app;
}

// A pixel at a position given in points of an image drawn at its device pixel ratio.
inline QColor pixelAt(const QImage& image, double x, double y) {
    const double scale = image.devicePixelRatio();
    return image.pixelColor(int(std::floor(x * scale)), int(std::floor(y * scale)));
}

// Colour of `color` laid over an opaque `background` (0..255 channels).
inline QColor over(const QColor& background, const QColor& color) {
    const double a = color.alphaF();
    auto mix = [&](double b, double c) { return int(std::lround(255 * (c * a + b * (1 - a)))); };
    return QColor(mix(background.redF(), color.redF()), mix(background.greenF(), color.greenF()),
                  mix(background.blueF(), color.blueF()));
}

inline bool near(const QColor& a, const QColor& b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

}  // namespace ui_test

#define EXPECT_COLOR_NEAR(actual, expected, tolerance)                                                 \
    EXPECT_TRUE(ui_test::near((actual), (expected), (tolerance)))                                      \
        << "actual " << (actual).name().toStdString() << " expected " << (expected).name().toStdString()
