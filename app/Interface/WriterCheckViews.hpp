#pragma once

#include <functional>

#include <QPushButton>
#include <QWidget>

#include "app/Interface/WriterActions.hpp"
#include "app/Interface/WriterCheck.hpp"
#include "app/Overlay/Theme.hpp"

class QLabel;

namespace Parlox {

// One status line for a writing tool's check, in the callout font.
class WriterCheckLine : public QWidget {
    Q_OBJECT
public:
    WriterCheckLine(WriterCheck check, WriterProvider provider, const Theme& theme, QWidget* parent = nullptr);

    void setCheck(WriterCheck check, WriterProvider provider);
    const WriterCheck& check() const { return check_; }

    // The words of the line; the waiting and failed states read in orange.
    static QString text(const WriterCheck& check, WriterProvider provider);
    static bool isWarning(const WriterCheck& check);
    // "Responde en 12,3 s".
    static QString answersIn(double seconds);

    QLabel* label() const { return label_; }

private:
    void rebuild();

    WriterCheck check_;
    WriterProvider provider_;
    Theme theme_;
    QLabel* label_ = nullptr;
};

// The one action that fits a check: see the plans, sign in, install, or
// test (disabled while a check runs).
class WriterCheckButton : public QPushButton {
    Q_OBJECT
public:
    WriterCheckButton(WriterCheck check, WriterProvider provider, std::function<void()> test, WriterActions actions,
                      QWidget* parent = nullptr);

    void setCheck(WriterCheck check, WriterProvider provider);

    static QString title(const WriterCheck& check);

Q_SIGNALS:
    // The step the button opens could not be opened: what to do by hand.
    // Empty as an outside step starts: earlier steps no longer apply.
    void byHandNeeded(const QString& steps);

private:
    void act();

    WriterCheck check_;
    WriterProvider provider_;
    std::function<void()> test_;
    WriterActions actions_;
};

}  // namespace Parlox
