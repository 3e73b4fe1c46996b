#include "app/Interface/SettingsTab.hpp"

#include "platform/foundation/UserDefaults.hpp"

namespace Parlox {

std::string SettingsTab::rawValue() const {
    switch (value_) {
        case general:
            return "general";
        case writing:
            return "writing";
        case voice:
            return "voice";
        case permissions:
            return "permissions";
    }
    return {};
}

std::optional<SettingsTab> SettingsTab::fromRawValue(std::string_view raw) {
    for (Value value : allCases())
        if (SettingsTab(value).rawValue() == raw) return SettingsTab(value);
    return std::nullopt;
}

std::string SettingsTab::title() const {
    switch (value_) {
        case general:
            return "General";
        case writing:
            return "Redacción";
        case voice:
            return "Voz";
        case permissions:
            return "Requisitos";
    }
    return {};
}

std::string SettingsTab::symbol() const {
    switch (value_) {
        case general:
            return "gearshape";
        case writing:
            return "text.cursor";
        case voice:
            return "waveform";
        case permissions:
            return "lock";
    }
    return {};
}

int SettingsTab::contentHeight() const {
    switch (value_) {
        case general:
            return platform::UserDefaults::standard().boolean("keepAwakeUnlocked", false) ? 770 : 600;
        case writing:
            return 720;
        case voice:
            return 360;
        case permissions:
            return 370;
    }
    return 600;
}

void SettingsTabs::setTab(SettingsTab tab) {
    if (tab == tab_) return;
    tab_ = tab;
    Q_EMIT tabChanged(tab);
}

}  // namespace Parlox
