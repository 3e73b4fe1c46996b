#include "app/Support/ScreenContextConsent.hpp"

#include "app/Support/SettingsStore.hpp"
#include "platform/foundation/UserDefaults.hpp"

namespace Parlox {

bool ScreenContextConsent::given() {
    return platform::UserDefaults::standard().boolean(key, false) && SettingsStore::screenContext();
}

void ScreenContextConsent::give() {
    auto& defaults = platform::UserDefaults::standard();
    defaults.set(key, true);
    defaults.set("screenContext", true);
}

void ScreenContextConsent::withdraw() {
    auto& defaults = platform::UserDefaults::standard();
    defaults.set(key, false);
    defaults.set("screenContext", false);
}

}  // namespace Parlox
