#pragma once

#include <QColor>
#include <QPalette>

namespace Parlox {

// The colour scheme a view draws in, passed down explicitly: the toolkit
// has no light/dark notion of its own, and still images choose theirs.
struct Theme {
    bool dark = false;

    static Theme light() { return Theme{false}; }
    static Theme darkScheme() { return Theme{true}; }
    // The scheme of the running desktop, read from the window colour of the
    // application's palette.
    static Theme current();

    // Black on light, white on dark, opaque: the base of the tinted fills.
    QColor ink(double opacity = 1.0) const;
    // Text styles of a hierarchy.
    QColor primary() const;
    QColor secondary() const;
    QColor tertiary() const;
    QColor quaternary() const;
    QColor red() const;
    QColor orange() const;
    QColor green() const;

    // A palette for widgets drawn in this scheme.
    QPalette palette() const;

    bool operator==(const Theme&) const = default;
};

}  // namespace Parlox
