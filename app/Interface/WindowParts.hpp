#pragma once

#include <string>

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QWidget>

#include "app/Overlay/Theme.hpp"

class QMessageBox;
class QPushButton;
class QHBoxLayout;
class QVBoxLayout;

namespace Parlox {

// The small pieces the welcome and settings windows are built from.
namespace WindowParts {

// A text in a font and colour; wrapping ones keep their natural height and
// take the width they are given.
QLabel* text(const QString& content, const QFont& font, const QColor& color, bool wraps, QWidget* parent = nullptr);

// The footnote style of the settings sections: callout size, secondary colour, wrapping.
QLabel* footnote(const QString& content, const Theme& theme, QWidget* parent = nullptr);
void settingsFootnote(QLabel& label, const Theme& theme);

// What to do by hand when an outside step could not be opened: callout
// size, orange, wrapping, and selectable so the command can be copied.
QLabel* byHand(const std::string& content, const Theme& theme, QWidget* parent = nullptr);

// The callout font, 12 points.
QFont callout();
// The body font, 13 points.
QFont body();

// Bordered-prominent (the accent colour) or plain bordered.
void styleButton(QPushButton& button, bool prominent, const Theme& theme);

// The box's one button, "Aceptar" (the toolkit's own would read "OK").
void addAcceptButton(QMessageBox& box);

// A row or column with the given spacing and no margins.
QHBoxLayout* row(int spacing, QWidget* parent = nullptr);
QVBoxLayout* column(int spacing, QWidget* parent = nullptr);

}  // namespace WindowParts

// One pictogram in a square, centred in a frame of its own width.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(std::string name, double size, QColor color, double frameWidth = 0, QWidget* parent = nullptr);

    const std::string& name() const { return name_; }
    QColor color() const { return color_; }
    void setColor(const QColor& color);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::string name_;
    double size_;
    QColor color_;
    double frameWidth_;
};

// A spinning progress indicator: a ring of dots turning while shown.
class ProgressSpinner : public QWidget {
    Q_OBJECT
public:
    ProgressSpinner(double size, const Theme& theme, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void timerEvent(QTimerEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    double size_;
    Theme theme_;
    int step_ = 0;
    int timer_ = 0;
};

}  // namespace Parlox
