#pragma once

#include <filesystem>

#include "platform/desktop/LoginItem.hpp"

namespace platform::desktop {

// The login item as an XDG autostart entry: "parlox.desktop" in
// $XDG_CONFIG_HOME/autostart (else ~/.config/autostart). Enabled means the
// entry is there and neither hidden nor switched off by the desktop.
class XdgAutostartLoginItem final : public LoginItem {
public:
    // Set to "1" in the environment of a start made by the entry, so the
    // application can tell a login launch from a start by hand.
    static constexpr const char* launchMarker = "PARLOX_LAUNCHED_AT_LOGIN";

    // `executable`: what the entry starts (default: this program).
    explicit XdgAutostartLoginItem(std::filesystem::path executable = {});

    bool isEnabled() override;
    // Throws DesktopError (fileWriteFailed) when the entry cannot be written or removed.
    void setEnabled(bool enabled) override;

    static std::filesystem::path entryPath();

private:
    std::filesystem::path executable_;
};

}  // namespace platform::desktop
