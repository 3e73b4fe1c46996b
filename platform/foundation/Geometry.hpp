#pragma once

#include <algorithm>

namespace platform {

// Screen geometry in the X11 screen space: origin at the top left of the
// whole screen area, y growing downward, in pixels.
struct Point {
    double x = 0;
    double y = 0;

    friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
    bool isEmpty() const { return !(width > 0) || !(height > 0); }

    // Grown by `dx` on the left and right and `dy` on the top and bottom
    // (negative values shrink it).
    Rect insetBy(double dx, double dy) const { return {x + dx, y + dy, width - 2 * dx, height - 2 * dy}; }
    Rect grownBy(double d) const { return insetBy(-d, -d); }

    // True when the two share some area; rectangles that only touch do not.
    bool intersects(const Rect& other) const {
        if (isEmpty() || other.isEmpty()) return false;
        return std::max(minX(), other.minX()) < std::min(maxX(), other.maxX()) &&
               std::max(minY(), other.minY()) < std::min(maxY(), other.maxY());
    }
    bool contains(const Point& p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }

    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace platform
