#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/XdgSystemSettings.hpp"
#include "platform/process/ProcessError.hpp"
#include "tests/support/TemporaryFolder.hpp"

using platform::desktop::XdgSystemSettings;

namespace {

constexpr const char* microphone = "Privacy_Microphone";
constexpr const char* accessibility = "Privacy_Accessibility";
constexpr const char* screen = "Privacy_ScreenCapture";

// A folder of installed programs, and what was started from it.
class SystemSettingsTest : public ::testing::Test {
protected:
    void install(const std::vector<const char*>& programs) {
        bin = std::make_unique<parlox::testing::TemporaryFolder>();
        for (const char* program : programs) {
            const auto path = bin->writeFile(program, "#!/bin/sh\n");
            std::filesystem::permissions(path, std::filesystem::perms::owner_exec,
                                         std::filesystem::perm_options::add);
        }
    }
    XdgSystemSettings settings(const std::string& desktop) {
        return XdgSystemSettings(desktop, "/nonexistent:" + bin->path().string(),
                                 [this](platform::process::Options options) {
                                     std::string line = options.executable.filename().string();
                                     for (const auto& argument : options.arguments) line += " " + argument;
                                     started.push_back(line);
                                 });
    }
    std::unique_ptr<parlox::testing::TemporaryFolder> bin;
    std::vector<std::string> started;
};

TEST_F(SystemSettingsTest, EachDesktopOpensItsOwnSoundAndAccessibilityPages) {
    struct Row {
        const char* desktop;
        std::vector<const char*> programs;
        const char* sound;          // what the microphone opens; nothing when empty
        const char* accessibility;  // what the accessibility opens; nothing when empty
    };
    const Row rows[] = {
        {"GNOME", {"gnome-control-center"}, "gnome-control-center sound", "gnome-control-center universal-access"},
        {"ubuntu:GNOME", {"gnome-control-center"}, "gnome-control-center sound",
         "gnome-control-center universal-access"},
        {"KDE", {"systemsettings"}, "systemsettings kcm_pulseaudio", "systemsettings kcm_access"},
        {"XFCE", {"xfce4-accessibility-settings", "pavucontrol"}, "pavucontrol", "xfce4-accessibility-settings"},
        {"MATE", {"mate-volume-control", "mate-at-properties"}, "mate-volume-control", "mate-at-properties"},
        {"X-Cinnamon", {"cinnamon-settings"}, "cinnamon-settings sound", "cinnamon-settings accessibility"},
        {"LXQt", {"pavucontrol-qt"}, "pavucontrol-qt", ""},
        // Another desktop's program is not this desktop's settings.
        {"XFCE", {"gnome-control-center", "systemsettings"}, "", ""},
        {"", {"gnome-control-center", "pavucontrol"}, "pavucontrol", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.desktop) + " with " + row.programs.front());
        install(row.programs);
        started.clear();
        XdgSystemSettings desktop = settings(row.desktop);

        EXPECT_EQ(desktop.hasPrivacySettings(microphone), *row.sound != '\0');
        EXPECT_EQ(desktop.openPrivacySettings(microphone), *row.sound != '\0');
        EXPECT_EQ(desktop.hasPrivacySettings(accessibility), *row.accessibility != '\0');
        EXPECT_EQ(desktop.openPrivacySettings(accessibility), *row.accessibility != '\0');
        // The window picture needs no settings anywhere.
        EXPECT_FALSE(desktop.hasPrivacySettings(screen));
        EXPECT_FALSE(desktop.openPrivacySettings(screen));

        std::vector<std::string> expected;
        for (const char* line : {row.sound, row.accessibility})
            if (*line != '\0') expected.push_back(line);
        EXPECT_EQ(started, expected);
    }
}

TEST_F(SystemSettingsTest, AProgramThatCannotStartOpensNothing) {
    install({"gnome-control-center"});
    XdgSystemSettings desktop("GNOME", bin->path().string(), [](platform::process::Options options) {
        throw platform::process::ProcessError(platform::process::ProcessError::Kind::launch,
                                              options.executable.string(), EACCES);
    });
    EXPECT_TRUE(desktop.hasPrivacySettings(accessibility));
    EXPECT_FALSE(desktop.openPrivacySettings(accessibility));
}

}  // namespace
