#include <QFontMetricsF>
#include <QImage>

#include <gtest/gtest.h>

#include "app/Overlay/Fonts.hpp"
#include "tests/app/AppTestSupport.hpp"
#include "tests/app/ui/QtTestSupport.hpp"

namespace Parlox {
namespace {

using namespace app_test;

const std::vector<std::string> samples = {"0-grabando-silencio", "1-grabando-voz", "2-pausa", "3-redactando",
                                          "4-copiado", "5-error", "6-error-largo"};

QImage load(const fs::path& file) {
    QImage image(QString::fromStdString(file.string()));
    image.setDevicePixelRatio(2);
    return image;
}

// Pixels in a box (points) clearly darker (light scheme) or lighter (dark) than `fill`.
int inkedPixels(const QImage& image, QRectF box, int fill, bool dark) {
    int count = 0;
    for (int y = int(box.top() * 2); y < int(box.bottom() * 2); ++y)
        for (int x = int(box.left() * 2); x < int(box.right() * 2); ++x) {
            const int v = image.pixelColor(x, y).green();
            if (dark ? v > fill + 40 : v < fill - 40) ++count;
        }
    return count;
}

class RenderOverlay : public ::testing::Test {
protected:
    void SetUp() override {
        ui_test::application();
        box.env().set("QT_QPA_PLATFORM", "offscreen");
    }
    Sandbox box;
};

TEST_F(RenderOverlay, WritesFourteenImagesAtScaleTwoAndPrintsEachName) {
    const fs::path folder = box.root() / "new" / "overlay";
    const CliRun run = runParlox({"--render-overlay", folder.string()}, true);
    ASSERT_EQ(run.status, 0) << run.output;
    std::vector<std::string> expected;
    for (const auto& sample : samples) {
        expected.push_back(sample + "-claro.png");
        expected.push_back(sample + "-oscuro.png");
    }
    EXPECT_EQ(run.lines, expected);
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) files += entry.is_regular_file();
    EXPECT_EQ(files, 14u);

    // Every picture is the pill padded by 18 on each side, twice over.
    const QFontMetricsF text(Fonts::system(13));
    const QFontMetricsF clock(Fonts::system(14));
    const double recording = 7 + 30 + 14 + clock.horizontalAdvance("00:00") + 14 + 30 + 7;
    const std::map<std::string, double> pillWidths = {
        {"0-grabando-silencio", recording},
        {"1-grabando-voz", recording},
        {"2-pausa", recording},
        {"3-redactando", 20 + text.horizontalAdvance("Redactando\u2026") + 20},
        {"4-copiado", 16 + 13 + 6 + text.horizontalAdvance("Copiado") + 16},
        {"5-error", 14 + 13 + 6 + text.horizontalAdvance("Sin respuesta") + 10 + 30 + 7},
        {"6-error-largo", 14 + 13 + 6 + text.horizontalAdvance("Sin sesi\u00F3n") + 10 + 30 + 7},
    };
    for (const auto& name : expected) {
        const QImage image = load(folder / name);
        ASSERT_FALSE(image.isNull()) << name;
        const double pill = pillWidths.at(name.substr(0, name.rfind('-')));
        EXPECT_EQ(image.width(), 2 * int(std::ceil(pill + 36))) << name;
        EXPECT_EQ(image.height(), 160) << name;
    }
}

TEST_F(RenderOverlay, LightAndDarkFillsBackgroundsAndTheClockDigits) {
    const fs::path folder = box.root() / "overlay";
    ASSERT_EQ(runParlox({"--render-overlay", folder.string()}).status, 0);
    for (const bool dark : {false, true}) {
        const std::string suffix = dark ? "-oscuro.png" : "-claro.png";
        const QImage done = load(folder / ("4-copiado" + suffix));
        // The opaque grey background at the corner; the capsule's grey inside it.
        const int background = dark ? 13 : 245;
        EXPECT_NEAR(ui_test::pixelAt(done, 0.5, 0.5).green(), background, 1);
        EXPECT_EQ(ui_test::pixelAt(done, 0.5, 0.5).alpha(), 255);
        const int fill = ui_test::pixelAt(done, 21, 40).green();
        EXPECT_NEAR(fill, dark ? 33 : 245, 4);

        // The clock "00:00" stands between the microphone and the finish disc.
        const QImage silent = load(folder / ("0-grabando-silencio" + suffix));
        const QRectF clockBox(18 + 7 + 30 + 14, 18 + 12, 40, 20);
        EXPECT_GT(inkedPixels(silent, clockBox, fill, dark), 60) << suffix;
        // The voice glow colours the bottom of the capsule; silence keeps it faint.
        const QImage voice = load(folder / ("1-grabando-voz" + suffix));
        const QPointF glowPoint(18 + voice.width() / 4.0 - 18, 18 + 40);
        const QColor loud = ui_test::pixelAt(voice, glowPoint.x(), glowPoint.y());
        const QColor quiet = ui_test::pixelAt(silent, glowPoint.x(), glowPoint.y());
        EXPECT_NE(loud, quiet);
        // Paused shows the crossed microphone: its slash crosses the icon's corner.
        const QImage paused = load(folder / ("2-pausa" + suffix));
        EXPECT_NE(ui_test::pixelAt(paused, 18 + 7 + 15 - 5.5, 18 + 22 - 6.5),
                  ui_test::pixelAt(silent, 18 + 7 + 15 - 5.5, 18 + 22 - 6.5));
    }
}

TEST_F(RenderOverlay, AnUncreatableFolderPrintsTheErrorAndExitsOne) {
    const fs::path file = box.root() / "plain-file";
    writeFile(file, "x");
    const CliRun run = runParlox({"--render-overlay", (file / "sub").string()}, true);
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.lines.size(), 1u) << run.output;
    EXPECT_EQ(run.lines[0].rfind("mkdir " + file.string(), 0), 0u) << run.lines[0];
    EXPECT_FALSE(fs::exists(file / "sub"));
}

}  // namespace
}  // namespace Parlox
