#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QLineEdit>
#include <QPointer>

#include "GlobalKeyBindings/RecorderControl.hpp"

namespace GlobalKeyBindings {

// The field in which the user records a global shortcut: it shows the
// current shortcut, records while it has the focus (holding the keyboard so
// that no other application or window manager takes the keys meanwhile) and
// hands every key press to its RecorderControl. Clicks far outside it end
// the recording; its window losing the focus does too.
class RecorderField : public QLineEdit, public RecorderControl::Host {
    Q_OBJECT
public:
    // Name mode: the name's stored shortcut.
    explicit RecorderField(const Name& name, RecorderControl::OnChange onChange = {}, QWidget* parent = nullptr);
    // Binding mode: the field holds the value itself.
    explicit RecorderField(std::optional<Shortcut> shortcut, RecorderControl::OnChange onChange = {},
                           QWidget* parent = nullptr);
    ~RecorderField() override;

    RecorderControl& control() { return *control_; }
    const RecorderControl& control() const { return *control_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // Shows an alert and answers the chosen button's index. A window-modal
    // message box unless replaced (tests); an empty presenter restores it.
    using AlertPresenter = std::function<int(QWidget* field, const RecorderControl::Alert& alert)>;
    static void setAlertPresenter(AlertPresenter presenter);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setUp();
    void watchWindow();
    void preventBecomingKey();
    void applyPendingEnd();

    // RecorderControl::Host
    void setText(const std::string& text) override;
    void setPlaceholder(const std::string& text) override;
    void setCaretVisible(bool visible) override;
    void endEditing() override;
    void makeFirstResponder() override;
    void beep() override;
    void pressClearButton() override;
    int runAlert(const RecorderControl::Alert& alert) override;
    std::vector<MenuItem> applicationMenu() const override;
    bool isInWindow() const override;
    void recordingDidChange(bool recording) override;

    std::unique_ptr<RecorderControl> control_;
    QPointer<QWidget> watchedWindow_;
    bool endRequested_ = false;
    const QEvent* lastMouseRelease_ = nullptr;
};

}  // namespace GlobalKeyBindings
