#include "app/Interface/MenuItemShortcut.hpp"

#include <QAction>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "app/Interface/QtKeys.hpp"

namespace GlobalKeyBindings {
namespace {

// What a bound action keeps: its own key sequence and the name's observer.
class MenuItemBinding : public QObject {
public:
    explicit MenuItemBinding(QAction& item) : QObject(&item), fallback(item.shortcut()) {
        setObjectName(QStringLiteral("globalKeyBindingsMenuItem"));
    }
    QKeySequence fallback;
    std::optional<Name> name;
    platform::Connection observer;
};

MenuItemBinding* bindingOf(QAction& item) {
    return item.findChild<MenuItemBinding*>(QStringLiteral("globalKeyBindingsMenuItem"), Qt::FindDirectChildrenOnly);
}

// Keypad keys and keys without a character have no menu key equivalent.
QKeySequence menuKeys(const Shortcut& shortcut) {
    if (!shortcut.menuItemKeyEquivalent()) return {};
    return QtKeys::keySequence(shortcut);
}

void showStored(QAction& item, MenuItemBinding& binding) {
    if (auto stored = getShortcut(*binding.name))
        QtKeys::setShortcut(item, menuKeys(*stored));
    else
        QtKeys::setShortcut(item, binding.fallback);
}

}  // namespace

void setShortcut(QAction& item, const std::optional<Shortcut>& shortcut) {
    delete bindingOf(item);
    QtKeys::setShortcut(item, shortcut ? menuKeys(*shortcut) : QKeySequence());
}

void setShortcut(QAction& item, const std::optional<Name>& name) {
    MenuItemBinding* binding = bindingOf(item);
    if (!name) {
        QtKeys::setShortcut(item, binding ? binding->fallback : QKeySequence());
        delete binding;
        return;
    }
    if (!binding) binding = new MenuItemBinding(item);
    binding->name = *name;
    showStored(item, *binding);
    QAction* action = &item;
    binding->observer = shortcutByNameDidChange().connect([action, binding](const Name& changed) {
        if (binding->name && changed.rawValue == binding->name->rawValue) showStored(*action, *binding);
    });
}

}  // namespace GlobalKeyBindings
