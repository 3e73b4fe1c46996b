#include "app/Support/SettingsStore.hpp"

#include "platform/foundation/UserDefaults.hpp"
#include "writing/PromptBuilder.hpp"

namespace Parlox {

bool SettingsStore::flag(std::string_view key) {
    auto value = platform::UserDefaults::standard().object(key);
    if (!value) return true;
    if (value->is_boolean()) return value->get<bool>();
    if (value->is_number()) {
        const double number = value->get<double>();
        if (number == 0) return false;
        if (number == 1) return true;
    }
    return true;
}

bool SettingsStore::soundsEnabled() { return flag("soundsEnabled"); }

bool SettingsStore::screenContext() { return flag("screenContext"); }

bool SettingsStore::showsMenuBarIcon() { return flag("showsMenuBarIcon"); }

std::string SettingsStore::personalInstructions() {
    if (auto text = platform::UserDefaults::standard().string("personalInstructions")) return *text;
    return ParloxCore::PromptBuilder::defaultPersonalInstructions;
}

}  // namespace Parlox
