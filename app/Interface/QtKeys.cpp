#include "app/Interface/QtKeys.hpp"

#include <set>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "platform/input/CarbonKeyCodes.hpp"

namespace GlobalKeyBindings::QtKeys {
namespace {

struct Pair {
    Key key;
    Qt::Key qt;
    bool keypad;
};

const std::vector<Pair>& table() {
    static const std::vector<Pair> pairs = [] {
        std::vector<Pair> list{
            {Key::a, Qt::Key_A, false}, {Key::b, Qt::Key_B, false}, {Key::c, Qt::Key_C, false},
            {Key::d, Qt::Key_D, false}, {Key::e, Qt::Key_E, false}, {Key::f, Qt::Key_F, false},
            {Key::g, Qt::Key_G, false}, {Key::h, Qt::Key_H, false}, {Key::i, Qt::Key_I, false},
            {Key::j, Qt::Key_J, false}, {Key::k, Qt::Key_K, false}, {Key::l, Qt::Key_L, false},
            {Key::m, Qt::Key_M, false}, {Key::n, Qt::Key_N, false}, {Key::o, Qt::Key_O, false},
            {Key::p, Qt::Key_P, false}, {Key::q, Qt::Key_Q, false}, {Key::r, Qt::Key_R, false},
            {Key::s, Qt::Key_S, false}, {Key::t, Qt::Key_T, false}, {Key::u, Qt::Key_U, false},
            {Key::v, Qt::Key_V, false}, {Key::w, Qt::Key_W, false}, {Key::x, Qt::Key_X, false},
            {Key::y, Qt::Key_Y, false}, {Key::z, Qt::Key_Z, false},
            {Key::zero, Qt::Key_0, false}, {Key::one, Qt::Key_1, false}, {Key::two, Qt::Key_2, false},
            {Key::three, Qt::Key_3, false}, {Key::four, Qt::Key_4, false}, {Key::five, Qt::Key_5, false},
            {Key::six, Qt::Key_6, false}, {Key::seven, Qt::Key_7, false}, {Key::eight, Qt::Key_8, false},
            {Key::nine, Qt::Key_9, false},
            {Key::return_, Qt::Key_Return, false}, {Key::backslash, Qt::Key_Backslash, false},
            {Key::backtick, Qt::Key_QuoteLeft, false}, {Key::comma, Qt::Key_Comma, false},
            {Key::equal, Qt::Key_Equal, false}, {Key::minus, Qt::Key_Minus, false},
            {Key::period, Qt::Key_Period, false}, {Key::quote, Qt::Key_Apostrophe, false},
            {Key::semicolon, Qt::Key_Semicolon, false}, {Key::slash, Qt::Key_Slash, false},
            {Key::space, Qt::Key_Space, false}, {Key::tab, Qt::Key_Tab, false},
            {Key::leftBracket, Qt::Key_BracketLeft, false}, {Key::rightBracket, Qt::Key_BracketRight, false},
            {Key::pageUp, Qt::Key_PageUp, false}, {Key::pageDown, Qt::Key_PageDown, false},
            {Key::home, Qt::Key_Home, false}, {Key::end, Qt::Key_End, false},
            {Key::upArrow, Qt::Key_Up, false}, {Key::rightArrow, Qt::Key_Right, false},
            {Key::downArrow, Qt::Key_Down, false}, {Key::leftArrow, Qt::Key_Left, false},
            {Key::escape, Qt::Key_Escape, false}, {Key::delete_, Qt::Key_Backspace, false},
            {Key::deleteForward, Qt::Key_Delete, false}, {Key::help, Qt::Key_Help, false},
            {Key::mute, Qt::Key_VolumeMute, false}, {Key::volumeUp, Qt::Key_VolumeUp, false},
            {Key::volumeDown, Qt::Key_VolumeDown, false},
            {Key::keypad0, Qt::Key_0, true}, {Key::keypad1, Qt::Key_1, true}, {Key::keypad2, Qt::Key_2, true},
            {Key::keypad3, Qt::Key_3, true}, {Key::keypad4, Qt::Key_4, true}, {Key::keypad5, Qt::Key_5, true},
            {Key::keypad6, Qt::Key_6, true}, {Key::keypad7, Qt::Key_7, true}, {Key::keypad8, Qt::Key_8, true},
            {Key::keypad9, Qt::Key_9, true}, {Key::keypadClear, Qt::Key_Clear, true},
            {Key::keypadDecimal, Qt::Key_Period, true}, {Key::keypadDivide, Qt::Key_Slash, true},
            {Key::keypadEnter, Qt::Key_Enter, true}, {Key::keypadEquals, Qt::Key_Equal, true},
            {Key::keypadMinus, Qt::Key_Minus, true}, {Key::keypadMultiply, Qt::Key_Asterisk, true},
            {Key::keypadPlus, Qt::Key_Plus, true},
        };
        const Key functionKeys[] = {Key::f1,  Key::f2,  Key::f3,  Key::f4,  Key::f5,  Key::f6,  Key::f7,
                                    Key::f8,  Key::f9,  Key::f10, Key::f11, Key::f12, Key::f13, Key::f14,
                                    Key::f15, Key::f16, Key::f17, Key::f18, Key::f19, Key::f20};
        for (int i = 0; i < 20; ++i) list.push_back({functionKeys[i], Qt::Key(Qt::Key_F1 + i), false});
        return list;
    }();
    return pairs;
}

// Keys that only change the modifiers: their presses are not key presses
// of a shortcut.
bool isModifierKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Meta:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_ScrollLock:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_Mode_switch:
            return true;
        default:
            return false;
    }
}

}  // namespace

ModifierFlags modifierFlags(Qt::KeyboardModifiers modifiers) {
    ModifierFlags flags;
    if (modifiers & Qt::ControlModifier) flags = flags | ModifierFlags::control;
    if (modifiers & Qt::AltModifier) flags = flags | ModifierFlags::option;
    if (modifiers & Qt::ShiftModifier) flags = flags | ModifierFlags::shift;
    if (modifiers & Qt::MetaModifier) flags = flags | ModifierFlags::command;
    if (modifiers & Qt::KeypadModifier) flags = flags | ModifierFlags::numericPad;
    return flags;
}

Qt::KeyboardModifiers qtModifiers(ModifierFlags flags) {
    Qt::KeyboardModifiers modifiers;
    if (flags.contains(ModifierFlags::control)) modifiers |= Qt::ControlModifier;
    if (flags.contains(ModifierFlags::option)) modifiers |= Qt::AltModifier;
    if (flags.contains(ModifierFlags::shift)) modifiers |= Qt::ShiftModifier;
    if (flags.contains(ModifierFlags::command)) modifiers |= Qt::MetaModifier;
    return modifiers;
}

std::optional<Key> key(int qtKey, bool keypad) {
    if (qtKey == Qt::Key_Backtab) qtKey = Qt::Key_Tab;
    if (qtKey == Qt::Key_Enter) keypad = true;
    for (const auto& pair : table())
        if (pair.qt == qtKey && pair.keypad == keypad) return pair.key;
    // A keypad key the keypad does not have under that name.
    if (keypad)
        for (const auto& pair : table())
            if (pair.qt == qtKey) return pair.key;
    return std::nullopt;
}

std::optional<QKeyCombination> qtKey(Key key) {
    for (const auto& pair : table())
        if (pair.key == key) return QKeyCombination(pair.keypad ? Qt::KeypadModifier : Qt::NoModifier, pair.qt);
    return std::nullopt;
}

KeyEvent keyEvent(const QKeyEvent& event) {
    KeyEvent result;
    result.type = event.type() == QEvent::KeyRelease ? KeyEvent::Type::keyUp : KeyEvent::Type::keyDown;
    result.modifierFlags = modifierFlags(event.modifiers());
    if (isModifierKey(event.key())) {
        result.type = KeyEvent::Type::flagsChanged;
        return result;
    }
    const auto scan = static_cast<int>(event.nativeScanCode());
    if (scan > platform::input::x11KeycodeOffset) {
        if (auto code = platform::input::carbonKeyCodeForEvdev(scan - platform::input::x11KeycodeOffset)) {
            result.keyCode = *code;
            return result;
        }
    }
    if (auto named = key(event.key(), event.modifiers() & Qt::KeypadModifier)) {
        result.keyCode = named->rawValue;
        return result;
    }
    // A key with no place among the stored keys cannot make a shortcut.
    result.type = KeyEvent::Type::flagsChanged;
    return result;
}

QKeySequence keySequence(const Shortcut& shortcut) {
    auto combination = qtKey(shortcut.key());
    if (!combination) return {};
    return QKeySequence(QKeyCombination(combination->keyboardModifiers() | qtModifiers(shortcut.modifiers()),
                                        combination->key()));
}

std::optional<Shortcut> shortcut(const QKeyCombination& combination) {
    const auto modifiers = combination.keyboardModifiers();
    auto named = key(combination.key(), modifiers & Qt::KeypadModifier);
    if (!named) return std::nullopt;
    return Shortcut(*named, modifierFlags(modifiers).removing(ModifierFlags::numericPad));
}

void setShortcut(QAction& action, const QKeySequence& keys) {
    const QString plain = title(action);
    action.setShortcut(keys);
    // A menu shows the text after a tab in place of the toolkit's own.
    const auto shown = keys.isEmpty() ? std::nullopt : shortcut(keys[0]);
    action.setText(shown ? plain + QLatin1Char('\t') + QString::fromStdString(shown->presentableDescription()) : plain);
}

QString title(const QAction& action) { return action.text().section(QLatin1Char('\t'), 0, 0); }

std::optional<MenuItem> menuItem(const QAction& action) {
    const QKeySequence sequence = action.shortcut();
    if (sequence.isEmpty()) return std::nullopt;
    auto taken = shortcut(sequence[0]);
    if (!taken) return std::nullopt;
    QString name = title(action);
    name.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&'));
    name.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return MenuItem{name.toStdString(), taken->menuItemKeyEquivalent().value_or(std::string()), taken->modifiers(),
                    {}};
}

std::vector<MenuItem> applicationMenu() {
    std::vector<MenuItem> items;
    std::set<const QAction*> seen;
    const auto add = [&](const QAction* action) {
        if (!seen.insert(action).second) return;
        if (auto item = menuItem(*action)) items.push_back(std::move(*item));
    };
    for (QWidget* window : QApplication::topLevelWidgets()) {
        for (const QAction* action : window->actions()) add(action);
        for (const QAction* action : window->findChildren<QAction*>()) add(action);
    }
    return items;
}

}  // namespace GlobalKeyBindings::QtKeys
