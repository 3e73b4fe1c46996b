#pragma once

#include <string>

namespace platform::desktop {

// The desktop's own settings.
class SystemSettings {
public:
    virtual ~SystemSettings() = default;

    // Opens the privacy settings at the page for `anchor` ("Privacy_Microphone",
    // "Privacy_Accessibility", "Privacy_ScreenCapture"); false when the desktop
    // has no such settings to open.
    virtual bool openPrivacySettings(const std::string& anchor) = 0;
};

}  // namespace platform::desktop
