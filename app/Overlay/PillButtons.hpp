#pragma once

#include <functional>

#include <QString>
#include <QVariantAnimation>

#include "app/Overlay/HoverButton.hpp"
#include "app/Overlay/Symbols.hpp"
#include "app/Overlay/Theme.hpp"

namespace Parlox {

// Base of the indicator's round 30 x 30 buttons: a circular hit area, a
// hover flag, the help text as tooltip and accessibility label, and an
// action installed by the view.
class RoundButton : public HoverButton {
    Q_OBJECT
public:
    static constexpr int side = 30;

    RoundButton(const QString& help, QWidget* parent);

    QString help() const { return toolTip(); }
    void setHelp(const QString& help);
    void setAction(std::function<void()> action) { action_ = std::move(action); }
    void setTheme(const Theme& theme);
    const Theme& theme() const { return theme_; }

    QSize sizeHint() const override { return QSize(side, side); }

protected:
    bool hitButton(const QPoint& pos) const override;

private:
    std::function<void()> action_;
    Theme theme_;
};

// A borderless round icon button (pause and resume): the symbol at 15 px
// in the caller's colour, over a faint disc only while hovered.
class PlainIcon : public RoundButton {
    Q_OBJECT
public:
    PlainIcon(const QString& symbol, const QString& help, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    // A new symbol replaces the old one, with a short crossfade when animated.
    void setSymbol(const QString& symbol, bool animated = true);
    void setColor(const QColor& color);
    QColor color() const { return color_; }

    static void paint(QPainter& painter, const QRectF& box, const QString& symbol, const QColor& color,
                      bool hovering, const Theme& theme);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString symbol_;
    QString previous_;
    QColor color_;
    QVariantAnimation replace_;
};

// A filled round button (finish, retry, close): the symbol at primary 80 %
// over a disc of 12 % (20 % hovered) with a faint inner ring.
class DiscButton : public RoundButton {
    Q_OBJECT
public:
    DiscButton(const QString& symbol, double symbolSize, Symbols::Weight weight, const QString& help,
               QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    void setSymbol(const QString& symbol, double symbolSize, Symbols::Weight weight);

    static void paint(QPainter& painter, const QRectF& box, const QString& symbol, double symbolSize,
                      Symbols::Weight weight, bool hovering, const Theme& theme);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString symbol_;
    double symbolSize_;
    Symbols::Weight weight_;
};

}  // namespace Parlox
