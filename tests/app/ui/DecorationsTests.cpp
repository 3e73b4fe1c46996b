#include <QEnterEvent>
#include <QPainter>

#include <gtest/gtest.h>

#include "app/Debug/Snapshot.hpp"
#include "app/Overlay/GlassPill.hpp"
#include "app/Overlay/ParloxMark.hpp"
#include "app/Overlay/PillButtons.hpp"
#include "app/Overlay/Symbols.hpp"
#include "app/Overlay/VoiceGlow.hpp"
#include "tests/app/ui/QtTestSupport.hpp"

namespace Parlox {
namespace {

using ui_test::over;
using ui_test::pixelAt;

std::vector<QRectF> barRects(const QRectF& rect) {
    std::vector<QRectF> bars;
    for (const QPolygonF& polygon : ParloxMark::path(rect).toSubpathPolygons()) bars.push_back(polygon.boundingRect());
    std::sort(bars.begin(), bars.end(), [](const QRectF& a, const QRectF& b) { return a.top() < b.top(); });
    return bars;
}

struct MarkCase {
    QRectF rect;
    double barHeight;
    std::array<double, 4> tops;
    std::array<double, 4> widths;
};

TEST(ParloxMark, BarsFillTheRectangleFromItsLeftEdge) {
    const MarkCase cases[] = {
        {QRectF(0, 0, 100, 100), 19, {0, 27, 54, 81}, {80, 100, 59, 85}},
        // Lengths follow the width and heights the height, independently.
        {QRectF(10, 20, 200, 50), 9.5, {20, 33.5, 47, 60.5}, {160, 200, 118, 170}},
    };
    for (const MarkCase& c : cases) {
        const auto bars = barRects(c.rect);
        ASSERT_EQ(bars.size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_NEAR(bars[i].left(), c.rect.left(), 1e-6) << i;
            EXPECT_NEAR(bars[i].top(), c.tops[i], 1e-6) << i;
            EXPECT_NEAR(bars[i].height(), c.barHeight, 1e-6) << i;
            EXPECT_NEAR(bars[i].width(), c.widths[i], 1e-6) << i;
        }
    }
}

TEST(WordMark, InkFollowsTheSchemeAndSizesFollowTheWordSize) {
    ui_test::application();
    EXPECT_EQ(WordMark::ink(Theme::light()), QColor::fromRgbF(0.149f, 0.106f, 0.447f));
    EXPECT_EQ(WordMark::ink(Theme::darkScheme()), QColor::fromRgbF(0.561f, 0.506f, 1.0f));

    WordMark mark(30);
    EXPECT_NEAR(mark.markRect().width(), 23.4, 1e-9);
    EXPECT_NEAR(mark.markRect().height(), 23.4, 1e-9);
    EXPECT_NEAR(mark.wordOrigin().x() - mark.markRect().right(), 13.8, 1e-9);
    // The mark stands on the word's baseline.
    EXPECT_NEAR(mark.markRect().bottom(), mark.wordOrigin().y(), 1e-9);

    for (const Theme theme : {Theme::light(), Theme::darkScheme()}) {
        mark.setTheme(theme);
        mark.resize(mark.sizeHint());
        const QImage image = Snapshot::render(mark, 2, QColor(128, 128, 128));
        // The middle of the longest bar (bar 1) is painted with the ink.
        const QRectF m = mark.markRect();
        const QColor bar = pixelAt(image, m.left() + m.width() * 0.5, m.top() + m.height() * (0.27 + 0.095));
        EXPECT_COLOR_NEAR(bar, WordMark::ink(theme), 2);
    }
}

TEST(Symbols, EveryNameTheViewsUseIsDrawnInsideItsSquare) {
    for (const char* name : {"mic", "mic.slash", "checkmark", "xmark", "arrow.clockwise", "checkmark.circle.fill",
                             "exclamationmark.triangle.fill", "circle.fill", "circle", "circle.dotted",
                             "text.alignleft", "moon.fill"}) {
        ASSERT_TRUE(Symbols::isKnown(name)) << name;
        const QPainterPath path = Symbols::path(name, 20);
        EXPECT_FALSE(path.isEmpty()) << name;
        EXPECT_TRUE(QRectF(-0.5, -0.5, 21, 21).contains(path.boundingRect())) << name;
    }
    EXPECT_FALSE(Symbols::isKnown("gearshape.2"));
    EXPECT_TRUE(Symbols::path("gearshape.2", 20).isEmpty());
}

TEST(Symbols, FilledAndOutlinedShapesDifferWhereTheyShould) {
    ui_test::application();
    struct Probe {
        const char* name;
        QPointF point;  // in a 40 px square
        bool inked;
    };
    const Probe probes[] = {
        {"circle.fill", {20, 20}, true},  {"circle", {20, 20}, false},      {"circle", {20, 4.8}, true},
        {"moon.fill", {8, 22}, true},     {"moon.fill", {30, 10}, false},   {"checkmark.circle.fill", {8, 20}, true},
        {"checkmark", {6, 22}, true},     {"checkmark", {32, 32}, false},   {"xmark", {20, 20}, true},
        {"mic.slash", {20, 20}, true},    {"text.alignleft", {6, 8}, true}, {"text.alignleft", {6, 12}, false},
    };
    for (const Probe& probe : probes) {
        const QPixmap pixmap = Symbols::pixmap(probe.name, 40, Qt::black);
        const QImage image = pixmap.toImage();
        const int alpha = image.pixelColor(probe.point.toPoint()).alpha();
        if (probe.inked) {
            EXPECT_GT(alpha, 200) << probe.name << " at " << probe.point.x() << "," << probe.point.y();
        } else {
            EXPECT_LT(alpha, 40) << probe.name << " at " << probe.point.x() << "," << probe.point.y();
        }
    }
}

TEST(GlassPill, CapsuleFillEdgeAndShadowOverEachScheme) {
    ui_test::application();
    for (const Theme theme : {Theme::light(), Theme::darkScheme()}) {
        const QColor background = QColor::fromRgbF(theme.dark ? 0.05f : 0.96f, theme.dark ? 0.05f : 0.96f,
                                                   theme.dark ? 0.05f : 0.96f);
        QImage image(QSize(2 * 160, 2 * 80), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(background);
        const QRectF pill(18, 18, 124, 44);
        {
            QPainter painter(&image);
            GlassPill::paintBackground(painter, pill, theme);
            GlassPill::paintEdge(painter, pill, theme);
        }
        // Inside the pill: the grey fill over the fully shadowed background.
        const double shadow = theme.dark ? 0.35 : 0.16;
        QColor expected = over(background, QColor::fromRgbF(0, 0, 0, float(0.92 * shadow)));
        expected = over(expected, QColor::fromRgbF(0, 0, 0, float(0.92 * 0.08)));
        expected = over(expected, GlassPill::fill(theme));
        EXPECT_COLOR_NEAR(pixelAt(image, 80, 40), expected, 3);
        const QColor fill = pixelAt(image, 80, 40);
        EXPECT_NEAR(fill.redF(), theme.dark ? 0.14 : 0.96, 0.02);
        // The corner is untouched, the margin under the pill is shadowed.
        EXPECT_EQ(pixelAt(image, 0.5, 0.5), background.rgb());
        EXPECT_LT(pixelAt(image, 80, 64).red(), background.red());
    }
}

TEST(VoiceGlow, FramesFollowModeLevelAndTime) {
    const double w = 200, h = 44;
    // Voice saturates at 1/1.3: 0.77 and 5 draw the same frame.
    const auto a = VoiceGlow::frame(VoiceGlow::Mode::voice, 0.77, w, h, 10);
    const auto b = VoiceGlow::frame(VoiceGlow::Mode::voice, 5.0, w, h, 10);
    EXPECT_DOUBLE_EQ(a.intensity, 1.0);
    EXPECT_EQ(a.lobes[1].ellipse, b.lobes[1].ellipse);
    EXPECT_EQ(a.line, b.line);

    // At level 0 the voice glow still shows faintly, at its smallest.
    const auto quiet = VoiceGlow::frame(VoiceGlow::Mode::voice, 0, w, h, 10);
    EXPECT_DOUBLE_EQ(quiet.lobesOpacity, 0.22);
    EXPECT_DOUBLE_EQ(quiet.lineOpacity, 0.45);
    EXPECT_DOUBLE_EQ(quiet.lobes[1].ellipse.height(), h * 0.35);
    EXPECT_DOUBLE_EQ(quiet.lobes[1].ellipse.center().y(), h);
    EXPECT_DOUBLE_EQ(quiet.line.width(), w * 0.42);

    // The beam ignores the level and swings with time.
    for (double t : {0.0, 1.0, 2.5}) {
        const auto low = VoiceGlow::frame(VoiceGlow::Mode::beam, 0, w, h, t);
        const auto high = VoiceGlow::frame(VoiceGlow::Mode::beam, 0.9, w, h, t);
        EXPECT_DOUBLE_EQ(low.intensity, 0.45);
        EXPECT_DOUBLE_EQ(low.centreX, w / 2 + std::sin(1.7 * t) * 0.28 * w);
        EXPECT_EQ(low.lobes[2].ellipse, high.lobes[2].ellipse);
        EXPECT_DOUBLE_EQ(low.line.width(), w * 0.36);
        EXPECT_DOUBLE_EQ(low.line.center().y(), h - 1.5);
    }
    const auto off = VoiceGlow::frame(VoiceGlow::Mode::off, 0.9, w, h, 3);
    EXPECT_DOUBLE_EQ(off.intensity, 0);
    EXPECT_DOUBLE_EQ(off.centreX, w / 2);
}

TEST(VoiceGlow, ClockTicksOnlyWhileOnAndFadesWithTheMode) {
    ui_test::application();
    VoiceGlowClock clock;
    EXPECT_FALSE(clock.isTicking());
    EXPECT_EQ(clock.opacity(), 0);
    clock.setMode(VoiceGlow::Mode::voice);
    EXPECT_TRUE(clock.isTicking());
    clock.finish();
    EXPECT_EQ(clock.opacity(), 1);
    clock.setMode(VoiceGlow::Mode::off);
    EXPECT_FALSE(clock.isTicking());
    clock.finish();
    EXPECT_EQ(clock.opacity(), 0);
}

TEST(VoiceGlow, OffDrawsNothingAndVoiceColoursThePill) {
    ui_test::application();
    for (double opacity : {0.0, 1.0}) {
        QImage image(QSize(200, 44), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            VoiceGlow::paint(painter, QPointF(), VoiceGlow::frame(VoiceGlow::Mode::voice, 1, 200, 44, 0),
                             Theme::light(), opacity);
        }
        const QColor bottom = image.pixelColor(90, 36);
        if (opacity == 0) {
            EXPECT_EQ(bottom, QColor(Qt::white));
        } else {
            EXPECT_LT(bottom.green(), 250);
        }
    }
}

TEST(VoiceGlow, OverlappingLobesShowAsOneLayerAtTheStacksOpacity) {
    ui_test::application();
    // At full intensity the stack is drawn at 0.6: where the four lobes lie
    // over one another the glow is no stronger than that.
    const VoiceGlow::Frame frame = VoiceGlow::frame(VoiceGlow::Mode::voice, 1, 200, 44, 0);
    QImage image(QSize(200, 44), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        VoiceGlow::paint(painter, QPointF(), frame, Theme::light(), 1);
    }
    int strongest = 0;
    // Above the beam line, which has an opacity of its own.
    for (int y = 0; y < int(frame.line.top()) - 1; ++y)
        for (int x = 0; x < image.width(); ++x) strongest = std::max(strongest, qAlpha(image.pixel(x, y)));
    EXPECT_LE(strongest, int(std::lround(255 * frame.lobesOpacity)) + 1);
    EXPECT_GE(strongest, int(255 * frame.lobesOpacity * 0.8));
}

TEST(VoiceGlow, TheBeamLineHasASoftEdge) {
    ui_test::application();
    // At scale 2 the line's blur softens its edge: the first row the line
    // covers whole is fainter than its middle.
    const VoiceGlow::Frame frame = VoiceGlow::frame(VoiceGlow::Mode::beam, 0, 200, 44, 0);
    VoiceGlow::Frame lineOnly = frame;
    lineOnly.lobesOpacity = 0;
    QImage image(QSize(400, 88), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        VoiceGlow::paint(painter, QPointF(), lineOnly, Theme::light(), 1);
    }
    const int x = int(frame.line.center().x() * 2);
    const int edge = int(std::ceil(frame.line.top() * 2));
    const int middle = int(frame.line.center().y() * 2);
    EXPECT_GT(qAlpha(image.pixel(x, middle)), 0);
    EXPECT_LT(qAlpha(image.pixel(x, edge)), qAlpha(image.pixel(x, middle)) * 0.8);
}

void hover(QWidget& widget, bool inside) {
    if (inside) {
        QEnterEvent enter(QPointF(15, 15), QPointF(15, 15), QPointF(15, 15));
        QApplication::sendEvent(&widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&widget, &leave);
    }
}

TEST(PillButtons, DiscAndPlainIconFillsWithAndWithoutHover) {
    ui_test::application();
    const QColor background(200, 200, 200);
    for (const Theme theme : {Theme::light(), Theme::darkScheme()}) {
        DiscButton disc("checkmark", 12, Symbols::Weight::semibold, "Terminar");
        PlainIcon icon("mic", "Pausar");
        disc.setTheme(theme);
        icon.setTheme(theme);
        icon.setColor(theme.secondary());
        struct Case {
            RoundButton* button;
            bool hovering;
            double fill;  // ink opacity of the disc, 0 for none
        };
        const Case cases[] = {{&disc, false, 0.12}, {&disc, true, 0.20}, {&icon, false, 0}, {&icon, true, 0.08}};
        for (const Case& c : cases) {
            hover(*c.button, c.hovering);
            EXPECT_EQ(c.button->isHovering(), c.hovering);
            const QImage image = Snapshot::render(*c.button, 2, background);
            // Left of the glyph, inside the circle.
            const QColor expected = c.fill > 0 ? over(background, theme.ink(c.fill)) : background;
            EXPECT_COLOR_NEAR(pixelAt(image, 5, 15), expected, 2) << c.hovering << " " << theme.dark;
        }
    }
}

TEST(PillButtons, RoundHitAreaHelpTextAndAction) {
    ui_test::application();
    int calls = 0;
    DiscButton disc("xmark", 10, Symbols::Weight::semibold, "Cerrar");
    disc.setAction([&] { ++calls; });
    EXPECT_EQ(disc.size(), QSize(30, 30));
    EXPECT_EQ(disc.toolTip(), "Cerrar");
    EXPECT_EQ(disc.accessibleName(), "Cerrar");
    disc.click();
    EXPECT_EQ(calls, 1);

    struct HitTester : DiscButton {
        using DiscButton::DiscButton;
        using DiscButton::hitButton;
    } tester("xmark", 10, Symbols::Weight::semibold, "Cerrar");
    EXPECT_TRUE(tester.hitButton(QPoint(15, 15)));
    EXPECT_TRUE(tester.hitButton(QPoint(15, 1)));
    EXPECT_FALSE(tester.hitButton(QPoint(1, 1)));
    EXPECT_FALSE(tester.hitButton(QPoint(29, 28)));
}

}  // namespace
}  // namespace Parlox
