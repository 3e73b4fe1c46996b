#include "app/Support/SettingsStore.hpp"

#include "platform/foundation/UserDefaults.hpp"
#include "writing/PromptBuilder.hpp"

namespace Parlox {

bool SettingsStore::flag(std::string_view key) { return platform::UserDefaults::standard().boolean(key, true); }

bool SettingsStore::soundsEnabled() { return flag("soundsEnabled"); }

bool SettingsStore::screenContext() { return flag("screenContext"); }

bool SettingsStore::showsMenuBarIcon() { return flag("showsMenuBarIcon"); }

std::string SettingsStore::personalInstructions() {
    if (auto text = platform::UserDefaults::standard().string("personalInstructions")) return *text;
    return ParloxCore::PromptBuilder::defaultPersonalInstructions;
}

}  // namespace Parlox
