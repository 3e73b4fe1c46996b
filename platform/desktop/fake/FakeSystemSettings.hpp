#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/desktop/SystemSettings.hpp"

namespace platform::desktop {

// Records the settings pages asked for.
class FakeSystemSettings final : public SystemSettings {
public:
    // The anchors this desktop has a page for.
    std::vector<std::string> pages = {"Privacy_Microphone", "Privacy_Accessibility"};
    // Whether opening a page starts it.
    bool available = true;
    std::vector<std::string> opened;

    bool hasPrivacySettings(const std::string& anchor) override {
        return std::find(pages.begin(), pages.end(), anchor) != pages.end();
    }
    bool openPrivacySettings(const std::string& anchor) override {
        opened.push_back(anchor);
        return available;
    }
};

}  // namespace platform::desktop
