#include "app/Support/SettingsStore.hpp"

#include "platform/foundation/UserDefaults.hpp"
#include "writing/PromptBuilder.hpp"

namespace Parlox {

std::string SettingsStore::personalInstructions() {
    if (auto text = platform::UserDefaults::standard().string("personalInstructions")) return *text;
    return ParloxCore::PromptBuilder::defaultPersonalInstructions;
}

}  // namespace Parlox
