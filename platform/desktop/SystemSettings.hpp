#pragma once

#include <string>

namespace platform::desktop {

// The desktop's own settings, by the anchor of what Parlox needs:
// "Privacy_Microphone" (the sound settings), "Privacy_Accessibility" (the
// accessibility settings) and "Privacy_ScreenCapture" (the window picture).
class SystemSettings {
public:
    virtual ~SystemSettings() = default;

    // Whether this desktop has a settings page for `anchor` to open.
    virtual bool hasPrivacySettings(const std::string& anchor) = 0;
    // Opens that page; false when there is none or it could not be started.
    virtual bool openPrivacySettings(const std::string& anchor) = 0;
};

}  // namespace platform::desktop
