#pragma once

#include <QScrollArea>
#include <QString>
#include <QWidget>

#include "app/Overlay/Theme.hpp"

class QLabel;
class QVBoxLayout;

namespace Parlox {

// One section of a settings form: a plain header, its rows on a rounded
// card, and a footnote under it.
class FormSection : public QWidget {
    Q_OBJECT
public:
    FormSection(const QString& header, const Theme& theme, QWidget* parent = nullptr);

    // A row on the card; rows after the first get a thin line above them.
    // Returns what to hide to hide the row (with its line).
    QWidget* addRow(QWidget* row);
    // A row with a label at the left and the control at the right.
    QWidget* addLabeledRow(QWidget* label, QWidget* control);
    QWidget* addLabeledRow(const QString& label, QWidget* control);
    // The footer, in the settings footnote style.
    QLabel* setFooter(const QString& text);
    QLabel* footer() const { return footer_; }
    QLabel* header() const { return header_; }

private:
    Theme theme_;
    QLabel* header_ = nullptr;
    QWidget* card_ = nullptr;
    QVBoxLayout* rows_ = nullptr;
    QLabel* footer_ = nullptr;
};

// A settings tab's page: its sections one under the other on the window's
// background, scrolling when they do not fit.
class SettingsForm : public QScrollArea {
    Q_OBJECT
public:
    explicit SettingsForm(const Theme& theme, QWidget* parent = nullptr);

    FormSection* addSection(const QString& header);
    const Theme& theme() const { return theme_; }

private:
    Theme theme_;
    QVBoxLayout* sections_ = nullptr;
};

}  // namespace Parlox
