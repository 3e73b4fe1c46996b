#include <gtest/gtest.h>

#include "app/Overlay/OverlayPlacement.hpp"

namespace Parlox {
namespace {

using Screen = OverlayPlacement::Screen;

struct PlacementCase {
    const char* name;
    QRectF anchor;
    std::vector<Screen> screens;
    std::optional<size_t> main;
    QPointF expected;  // the panel's top-left
};

TEST(OverlayPlacement, BelowAboveAndClampedIntoTheVisibleArea) {
    // 1000 x 800 screen with a 30 px panel on top: visible 0..1000 x 30..800.
    const Screen one{QRectF(0, 0, 1000, 800), QRectF(0, 30, 1000, 770)};
    const Screen right{QRectF(1000, 0, 800, 600), QRectF(1000, 0, 800, 560)};
    const PlacementCase cases[] = {
        {"below the caret", QRectF(400, 300, 2, 18), {one}, 0, {400 - 30, 318 - 10}},
        // Bottom 50 px above the visible bottom: no room below, so above it.
        {"above near the bottom", QRectF(400, 732, 2, 18), {one}, 0, {370, 732 - 70}},
        {"right edge", QRectF(990, 300, 2, 18), {one}, 0, {1000 - 384, 308}},
        {"left edge", QRectF(3, 300, 2, 18), {one}, 0, {8, 308}},
        {"under the top panel", QRectF(400, 0, 2, 10), {one}, 0, {370, 38}},
        // The anchor's middle picks the second screen and its visible frame;
        // above the caret is still too low there, so the bottom inset holds it.
        {"second screen", QRectF(1700, 550, 2, 18), {one, right}, 0, {1800 - 384, 560 - 88}},
        // Outside every screen: the main screen holds it.
        {"no screen holds it", QRectF(-500, 300, 2, 18), {right, one}, 1, {8, 308}},
        {"a zero-size anchor at the mouse", QRectF(500, 400, 0, 0), {one}, 0, {470, 390}},
        // No screen at all: the visible frame is the zero rectangle.
        {"no screens", QRectF(400, 300, 2, 18), {}, std::nullopt, {-384, 8}},
        // Narrower than 392 and lower than 96: the right and top insets win.
        {"tiny visible area", QRectF(50, 50, 2, 18), {Screen{QRectF(0, 0, 300, 90), QRectF(0, 0, 300, 90)}}, 0,
         {300 - 384, 8}},
    };
    for (const PlacementCase& c : cases) {
        const QRectF frame = OverlayPlacement::frame(c.anchor, c.screens, c.main);
        EXPECT_EQ(frame.topLeft(), c.expected) << c.name << ": " << frame.x() << "," << frame.y();
        EXPECT_EQ(frame.size(), QSizeF(376, 80)) << c.name;
    }
}

TEST(OverlayPlacement, PillSitsEightPixelsFromTheAnchor) {
    const Screen screen{QRectF(0, 0, 1200, 900), QRectF(0, 0, 1200, 900)};
    const QRectF caret(600, 300, 1, 20);
    const QRectF below = OverlayPlacement::frame(caret, {screen}, 0);
    EXPECT_DOUBLE_EQ(below.top() + OverlayPlacement::margin - caret.bottom(), 8);
    EXPECT_DOUBLE_EQ(caret.left() - (below.left() + OverlayPlacement::margin), 12);

    const QRectF low(600, 850, 1, 20);
    const QRectF above = OverlayPlacement::frame(low, {screen}, 0);
    EXPECT_DOUBLE_EQ(low.top() - (above.bottom() - OverlayPlacement::margin), 8);
}

}  // namespace
}  // namespace Parlox
