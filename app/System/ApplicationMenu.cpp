#include "app/System/ApplicationMenu.hpp"

#include <exception>

#include "app/Support/Log.hpp"
#include "platform/foundation/Error.hpp"

namespace Parlox {

void ApplicationMenu::install(platform::desktop::ApplicationMenuEntry& entry) {
    try {
        entry.install();
    } catch (const std::exception& error) {
        Log::error("No he podido poner Parlox en el menú de aplicaciones: " + platform::localizedDescription(error));
    }
}

}  // namespace Parlox
