#include "app/System/LoginItem.hpp"

#include <exception>

#include "app/Support/Log.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/UserDefaults.hpp"

namespace Parlox {

bool LoginItem::isEnabled(platform::desktop::LoginItem& item) { return item.isEnabled(); }

void LoginItem::setEnabled(platform::desktop::LoginItem& item, bool enabled) {
    try {
        item.setEnabled(enabled);
    } catch (const std::exception& error) {
        Log::error("No he podido cambiar el arranque automático: " + platform::localizedDescription(error));
    }
}

void LoginItem::enableOnFirstRun(platform::desktop::LoginItem& item) {
    auto& defaults = platform::UserDefaults::standard();
    if (defaults.boolean(askedKey, false)) return;
    defaults.set(askedKey, true);
    setEnabled(item, true);
}

}  // namespace Parlox
