#include "app/Interface/SettingsForm.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/Interface/WindowParts.hpp"
#include "app/Overlay/Fonts.hpp"

namespace Parlox {

FormSection::FormSection(const QString& header, const Theme& theme, QWidget* parent)
    : QWidget(parent), theme_(theme) {
    auto* layout = WindowParts::column(6, this);
    if (!header.isEmpty()) {
        header_ = WindowParts::text(header, Fonts::system(13, QFont::DemiBold), theme.primary(), false, this);
        header_->setContentsMargins(10, 0, 0, 0);
        layout->addWidget(header_);
    }
    card_ = new QFrame(this);
    card_->setObjectName(QStringLiteral("card"));
    const QColor fill = theme.dark ? QColor(255, 255, 255, 13) : QColor(255, 255, 255);
    card_->setStyleSheet(QStringLiteral("QFrame#card { background: %1; border: 1px solid %2; border-radius: 7px; }")
                             .arg(fill.name(QColor::HexArgb), theme.ink(0.09).name(QColor::HexArgb)));
    rows_ = WindowParts::column(0, card_);
    rows_->setContentsMargins(10, 2, 10, 2);
    layout->addWidget(card_);
}

QWidget* FormSection::addRow(QWidget* row) {
    row->setContentsMargins(0, 7, 0, 7);
    if (rows_->count() == 0) {
        row->setParent(card_);
        rows_->addWidget(row);
        return row;
    }
    // The line goes with its row, so a hidden row leaves no line behind.
    auto* entry = new QWidget(card_);
    auto* layout = WindowParts::column(0, entry);
    auto* line = new QFrame(entry);
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("background: %1; border: none;").arg(theme_.ink(0.08).name(QColor::HexArgb)));
    layout->addWidget(line);
    row->setParent(entry);
    layout->addWidget(row);
    rows_->addWidget(entry);
    return entry;
}

QWidget* FormSection::addLabeledRow(QWidget* label, QWidget* control) {
    auto* row = new QWidget(card_);
    auto* layout = WindowParts::row(12, row);
    label->setParent(row);
    layout->addWidget(label, 1, Qt::AlignVCenter);
    if (control) {
        control->setParent(row);
        layout->addWidget(control, 0, Qt::AlignVCenter | Qt::AlignRight);
    }
    return addRow(row);
}

QWidget* FormSection::addLabeledRow(const QString& label, QWidget* control) {
    return addLabeledRow(WindowParts::text(label, WindowParts::body(), theme_.primary(), true), control);
}

QLabel* FormSection::setFooter(const QString& text) {
    if (!footer_) {
        footer_ = WindowParts::footnote(text, theme_, this);
        footer_->setContentsMargins(10, 0, 10, 0);
        layout()->addWidget(footer_);
    }
    footer_->setText(text);
    return footer_;
}

SettingsForm::SettingsForm(const Theme& theme, QWidget* parent) : QScrollArea(parent), theme_(theme) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget();
    content->setAutoFillBackground(false);
    sections_ = WindowParts::column(20, content);
    sections_->setContentsMargins(20, 20, 20, 20);
    sections_->addStretch(1);
    setWidget(content);
    viewport()->setAutoFillBackground(false);
}

FormSection* SettingsForm::addSection(const QString& header) {
    auto* section = new FormSection(header, theme_, widget());
    sections_->insertWidget(sections_->count() - 1, section);
    return section;
}

}  // namespace Parlox
