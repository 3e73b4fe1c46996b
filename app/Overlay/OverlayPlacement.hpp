#pragma once

#include <optional>
#include <vector>

#include <QRectF>
#include <QSizeF>

namespace Parlox {

// Where the indicator's panel goes for an anchor rectangle (the caret, or
// the mouse point): below it with the pill 8 px under the anchor, above it
// when there is no room below, and always kept 8 px inside the visible area
// of the anchor's screen. Screen coordinates, y growing downward.
struct OverlayPlacement {
    static constexpr double panelWidth = 376;
    static constexpr double panelHeight = 80;
    // The pill's margin inside the panel and its gaps to the anchor and edges.
    static constexpr double margin = 18;
    static constexpr double gap = 8;
    static constexpr double leadOffset = 12;

    struct Screen {
        QRectF frame;
        QRectF visibleFrame;  // without panels and docks
    };

    // `screens` in the system's order; `mainScreen` indexes the one to use
    // when none holds the anchor's middle.
    static QRectF frame(const QRectF& anchor, const std::vector<Screen>& screens, std::optional<size_t> mainScreen);
    // The visible frame the anchor is placed in (zero without any screen).
    static QRectF visibleFrame(const QRectF& anchor, const std::vector<Screen>& screens,
                               std::optional<size_t> mainScreen);

    // The screens of the running display, and the index of the primary one.
    static std::vector<Screen> currentScreens();
    static std::optional<size_t> currentMainScreen();
};

}  // namespace Parlox
