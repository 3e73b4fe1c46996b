#pragma once

#include "platform/desktop/SystemSettings.hpp"

namespace platform::desktop {

// The desktop's own settings program, when one is installed: the GNOME
// settings (privacy, or sound for the microphone) or the KDE system
// settings. Other desktops have no such page: false, and a log line.
class XdgSystemSettings final : public SystemSettings {
public:
    bool openPrivacySettings(const std::string& anchor) override;
};

}  // namespace platform::desktop
