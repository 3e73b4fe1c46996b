#pragma once

#include <string>
#include <vector>

#include "platform/desktop/SystemSettings.hpp"

namespace platform::desktop {

// Records the settings pages asked for.
class FakeSystemSettings final : public SystemSettings {
public:
    bool available = true;
    std::vector<std::string> opened;

    bool openPrivacySettings(const std::string& anchor) override {
        opened.push_back(anchor);
        return available;
    }
};

}  // namespace platform::desktop
