#pragma once

#include <optional>

#include <QColor>
#include <QPainterPath>
#include <QRectF>
#include <QWidget>

#include "app/Overlay/Theme.hpp"

namespace Parlox {

// The application's mark: four bars of different lengths, like lines of
// text aligned at the left, filling the rectangle's height exactly.
struct ParloxMark {
    // Width of each bar, top to bottom, as a fraction of the rectangle's width.
    static constexpr double barWidths[4] = {0.8, 1.0, 0.59, 0.85};

    static QPainterPath path(const QRectF& rect);
    static void paint(QPainter& painter, const QRectF& rect, const QColor& color);
};

// The mark beside the product name, for a given size in pixels.
class WordMark : public QWidget {
    Q_OBJECT
public:
    explicit WordMark(double size, QWidget* parent = nullptr);

    // Dark indigo on a light scheme, light violet on a dark one.
    static QColor ink(const Theme& theme);

    double size() const { return size_; }
    // The mark's square and the word's baseline origin inside the widget.
    QRectF markRect() const;
    QPointF wordOrigin() const;
    QSize sizeHint() const override;

    // Draws in this scheme instead of the application's.
    void setTheme(const Theme& theme);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QFont wordFont() const;

    double size_;
    std::optional<Theme> theme_;
};

}  // namespace Parlox
