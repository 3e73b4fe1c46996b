#include "app/Interface/RecorderField.hpp"

#include <mutex>

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include "GlobalKeyBindings/Localization.hpp"
#include "app/Interface/QtKeys.hpp"

namespace GlobalKeyBindings {
namespace {

int showMessageBox(QWidget* field, const RecorderControl::Alert& alert) {
    QMessageBox box(field ? field->window() : nullptr);
    box.setIcon(QMessageBox::Warning);
    box.setText(QString::fromStdString(alert.title));
    if (alert.message) box.setInformativeText(QString::fromStdString(*alert.message));
    std::vector<QAbstractButton*> buttons;
    const auto titles =
        alert.buttons.empty() ? std::vector<std::string>{localizedString("ok")} : alert.buttons;
    for (const auto& title : titles) buttons.push_back(box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole));
    box.setDefaultButton(static_cast<QPushButton*>(buttons.front()));
    box.setWindowModality(Qt::WindowModal);
    box.exec();
    for (size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i]) return int(i);
    return 0;
}

std::mutex presenterMutex;
RecorderField::AlertPresenter& presenter() {
    static RecorderField::AlertPresenter current = showMessageBox;
    return current;
}

bool isTabPress(const KeyEvent& event) { return event.type == KeyEvent::Type::keyDown && Key(event.keyCode) == Key::tab; }

}  // namespace

RecorderField::RecorderField(const Name& name, RecorderControl::OnChange onChange, QWidget* parent)
    : QLineEdit(parent) {
    setUp();
    control_ = std::make_unique<RecorderControl>(*this, name, std::move(onChange));
}

RecorderField::RecorderField(std::optional<Shortcut> shortcut, RecorderControl::OnChange onChange, QWidget* parent)
    : QLineEdit(parent) {
    setUp();
    control_ = std::make_unique<RecorderControl>(*this, std::move(shortcut), std::move(onChange));
}

RecorderField::~RecorderField() {
    if (watchedWindow_) watchedWindow_->removeEventFilter(this);
    qApp->removeEventFilter(this);
    releaseKeyboard();
    control_.reset();
}

void RecorderField::setUp() {
    setAlignment(Qt::AlignCenter);
    setClearButtonEnabled(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::StrongFocus);
    // The clear button empties the field.
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (control_) control_->textDidChange(text.toStdString());
    });
}

QSize RecorderField::sizeHint() const {
    return {int(RecorderControl::minimumWidth), QLineEdit::sizeHint().height()};
}

void RecorderField::setAlertPresenter(AlertPresenter replacement) {
    std::lock_guard lock(presenterMutex);
    presenter() = replacement ? std::move(replacement) : AlertPresenter(showMessageBox);
}

bool RecorderField::event(QEvent* event) {
    if (!control_ || !control_->isRecording()) return QLineEdit::event(event);
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Every key goes to the recording, even one an action would take.
            event->accept();
            return true;
        case QEvent::KeyRelease:
            return true;
        case QEvent::KeyPress: {
            const KeyEvent key = QtKeys::keyEvent(static_cast<const QKeyEvent&>(*event));
            endRequested_ = false;
            const auto disposition = control_->handleKeyDown(key);
            if (std::exchange(endRequested_, false) && !(disposition == RecorderControl::Disposition::pass &&
                                                         isTabPress(key))) {
                clearFocus();
            }
            // A Tab that goes on moves the focus to the next view.
            if (disposition == RecorderControl::Disposition::pass) return QLineEdit::event(event);
            event->accept();
            return true;
        }
        default:
            return QLineEdit::event(event);
    }
}

bool RecorderField::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_ && control_) {
        if (event->type() == QEvent::WindowDeactivate) control_->windowDidResignKey();
        if (event->type() == QEvent::WindowActivate) preventBecomingKey();
        return false;
    }
    // Every window's button releases reach its window first, once.
    if (event->type() == QEvent::MouseButtonRelease && watched->isWindowType() && control_ &&
        control_->isRecording()) {
        const auto& mouse = static_cast<const QMouseEvent&>(*event);
        if (mouse.button() == Qt::LeftButton || mouse.button() == Qt::RightButton) {
            const QPointF local = mapFromGlobal(mouse.globalPosition());
            control_->handleMouseUp(local.x(), local.y(), width(), height());
            applyPendingEnd();
        }
    }
    return false;
}

void RecorderField::focusInEvent(QFocusEvent* event) {
    // The line edit's own handling would start the blinking caret: this
    // field has the focus only while it records, and shows no caret then.
    QWidget::focusInEvent(event);
    if (control_ && !control_->isRecording() && !control_->becomeFirstResponder()) clearFocus();
}

void RecorderField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (!control_) return;
    control_->editingDidEnd();
    QTimer::singleShot(0, this, [this] {
        if (control_) control_->afterEditingEnded(hasFocus());
    });
}

void RecorderField::showEvent(QShowEvent* event) {
    QLineEdit::showEvent(event);
    watchWindow();
    preventBecomingKey();
}

void RecorderField::hideEvent(QHideEvent* event) {
    QLineEdit::hideEvent(event);
    if (control_) control_->didMoveToWindow(false);
}

void RecorderField::watchWindow() {
    QWidget* current = window();
    if (current == watchedWindow_) return;
    if (watchedWindow_) watchedWindow_->removeEventFilter(this);
    watchedWindow_ = current;
    if (current != this) current->installEventFilter(this);
}

// When its window is shown or comes forward, the field is not the one that
// takes the focus first: recording starts only by a click or Tab. Only the
// focus chain skips it meanwhile; the click that brought the window forward
// arrives in the same turn and must still reach it.
void RecorderField::preventBecomingKey() {
    setFocusPolicy(Qt::ClickFocus);
    QTimer::singleShot(0, this, [this] { setFocusPolicy(Qt::StrongFocus); });
}

void RecorderField::applyPendingEnd() {
    if (std::exchange(endRequested_, false)) clearFocus();
}

void RecorderField::setText(const std::string& text) { QLineEdit::setText(QString::fromStdString(text)); }

void RecorderField::setPlaceholder(const std::string& text) { setPlaceholderText(QString::fromStdString(text)); }

// The field never starts its caret (focusInEvent), so there is nothing to hide.
void RecorderField::setCaretVisible(bool) {}

void RecorderField::endEditing() {
    endRequested_ = true;
    // Outside a key press nobody else applies it.
    QTimer::singleShot(0, this, [this] { applyPendingEnd(); });
}

void RecorderField::makeFirstResponder() { setFocus(Qt::OtherFocusReason); }

void RecorderField::beep() { QApplication::beep(); }

void RecorderField::pressClearButton() {
    clear();
    if (control_) control_->textDidChange(std::string());
}

int RecorderField::runAlert(const RecorderControl::Alert& alert) {
    applyPendingEnd();
    AlertPresenter show;
    {
        std::lock_guard lock(presenterMutex);
        show = presenter();
    }
    return show(this, alert);
}

std::vector<MenuItem> RecorderField::applicationMenu() const { return QtKeys::applicationMenu(); }

bool RecorderField::isInWindow() const { return isVisible(); }

void RecorderField::recordingDidChange(bool recording) {
    if (recording) {
        qApp->installEventFilter(this);
        grabKeyboard();
    } else {
        releaseKeyboard();
        qApp->removeEventFilter(this);
    }
}

}  // namespace GlobalKeyBindings
