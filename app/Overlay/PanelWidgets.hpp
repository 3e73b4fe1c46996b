#pragma once

#include <functional>

#include <QAbstractButton>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "app/Overlay/HoverButton.hpp"
#include "app/Overlay/Theme.hpp"

namespace Parlox {

// A full-width row of the menu bar panel: its title at the left, a faint
// background while the pointer is over it.
class PanelButton : public HoverButton {
    Q_OBJECT
public:
    PanelButton(const QString& title, std::function<void()> action, const Theme& theme, QWidget* parent = nullptr,
                bool semibold = false, int extraInset = 0);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QFont font_;
    Theme theme_;
    int inset_;
};

// A small switch (on/off), drawn as a track with a knob.
class MiniSwitch : public QAbstractButton {
    Q_OBJECT
public:
    MiniSwitch(const QString& label, const Theme& theme, QWidget* parent = nullptr);
    QSize sizeHint() const override { return QSize(26, 15); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Theme theme_;
};

// A small indeterminate progress indicator; still when `animated` is false.
class Spinner : public QWidget {
public:
    Spinner(const Theme& theme, bool animated, QWidget* parent = nullptr);
    QSize sizeHint() const override { return QSize(16, 16); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Theme theme_;
    QTimer timer_;
    int step_ = 0;
};

// A small push button; `prominent` fills it with the accent colour.
QPushButton* smallButton(const QString& title, bool prominent, const Theme& theme, std::function<void()> action,
                         QWidget* parent);

// A label in a font and colour, wrapping when asked.
QLabel* textLabel(const QString& text, const QFont& font, const QColor& color, bool wrap, QWidget* parent);

}  // namespace Parlox
