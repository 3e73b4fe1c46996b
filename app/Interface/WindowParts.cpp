#include "app/Interface/WindowParts.hpp"

#include <cmath>

#include <QBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimerEvent>

#include "app/Overlay/Fonts.hpp"
#include "app/Overlay/Symbols.hpp"

namespace Parlox {
namespace WindowParts {

QLabel* text(const QString& content, const QFont& font, const QColor& color, bool wraps, QWidget* parent) {
    auto* label = new QLabel(content, parent);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setWordWrap(wraps);
    label->setTextFormat(Qt::PlainText);
    label->setSizePolicy(QSizePolicy::Preferred, wraps ? QSizePolicy::Minimum : QSizePolicy::Fixed);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A wrapping text's height follows its width; its height at the narrowest
    // width would make every form taller than it is.
    if (wraps) label->setMinimumHeight(1);
    return label;
}

QLabel* byHand(const std::string& content, const Theme& theme, QWidget* parent) {
    auto* label = text(QString::fromStdString(content), callout(), theme.orange(), true, parent);
    label->setObjectName(QStringLiteral("by-hand"));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void addAcceptButton(QMessageBox& box) {
    box.setDefaultButton(box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole));
}

QFont callout() { return Fonts::system(12); }
QFont body() { return Fonts::system(13); }

void settingsFootnote(QLabel& label, const Theme& theme) {
    label.setFont(callout());
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, theme.secondary());
    label.setPalette(palette);
    label.setWordWrap(true);
    label.setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    label.setMinimumHeight(1);
}

QLabel* footnote(const QString& content, const Theme& theme, QWidget* parent) {
    auto* label = new QLabel(content, parent);
    label->setTextFormat(Qt::PlainText);
    settingsFootnote(*label, theme);
    return label;
}

void styleButton(QPushButton& button, bool prominent, const Theme& theme) {
    button.setFont(body());
    const QString text = prominent ? QStringLiteral("#ffffff") : theme.primary().name(QColor::HexArgb);
    const QString fill = prominent ? QStringLiteral("#0a84ff") : (theme.dark ? QStringLiteral("#3a3a3c")
                                                                              : QStringLiteral("#ffffff"));
    const QString edge = prominent ? QStringLiteral("#0a84ff") : theme.ink(0.18).name(QColor::HexArgb);
    button.setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %3;"
                                        " border-radius: 5px; padding: 3px 12px; }"
                                        "QPushButton:disabled { color: %4; }")
                             .arg(text, fill, edge, theme.tertiary().name(QColor::HexArgb)));
    button.setProperty("prominent", prominent);
}

QHBoxLayout* row(int spacing, QWidget* parent) {
    auto* layout = new QHBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QVBoxLayout* column(int spacing, QWidget* parent) {
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

}  // namespace WindowParts

SymbolView::SymbolView(std::string name, double size, QColor color, double frameWidth, QWidget* parent)
    : QWidget(parent), name_(std::move(name)), size_(size), color_(color), frameWidth_(std::max(frameWidth, size)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setColor(const QColor& color) {
    color_ = color;
    update();
}

QSize SymbolView::sizeHint() const { return {int(std::ceil(frameWidth_)), int(std::ceil(size_))}; }

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF box((width() - size_) / 2, (height() - size_) / 2, size_, size_);
    Symbols::paint(painter, name_, box, color_);
}

ProgressSpinner::ProgressSpinner(double size, const Theme& theme, QWidget* parent)
    : QWidget(parent), size_(size), theme_(theme) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ProgressSpinner::sizeHint() const { return {int(std::ceil(size_)), int(std::ceil(size_))}; }

void ProgressSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double radius = size_ * 0.36, dot = std::max(1.0, size_ * 0.09);
    for (int i = 0; i < 8; ++i) {
        const double angle = (i - step_) * M_PI / 4 - M_PI / 2;
        QColor color = theme_.primary();
        color.setAlphaF(float(0.15 + 0.7 * ((8 - i) % 8) / 8.0));
        painter.setBrush(color);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(centre + QPointF(radius * std::cos(angle), radius * std::sin(angle)), dot, dot);
    }
}

void ProgressSpinner::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_) return;
    step_ = (step_ + 1) % 8;
    update();
}

void ProgressSpinner::showEvent(QShowEvent*) {
    if (!timer_) timer_ = startTimer(100);
}

void ProgressSpinner::hideEvent(QHideEvent*) {
    if (timer_) killTimer(timer_);
    timer_ = 0;
}

}  // namespace Parlox
