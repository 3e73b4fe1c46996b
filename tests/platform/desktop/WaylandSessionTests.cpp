#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/accessibility/AtspiAccessibility.hpp"
#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/X11Desktop.hpp"
#include "platform/desktop/X11Pasteboard.hpp"
#include "platform/desktop/X11WindowScreenshot.hpp"
#include "platform/desktop/X11Workspace.hpp"
#include "platform/input/SessionType.hpp"
#include "platform/input/XTestKeySynth.hpp"
#include "platform/log/SystemLog.hpp"

using namespace platform;

namespace {

// A Wayland session without an X display, for one test; the log is kept.
class WaylandSession : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"DISPLAY", "XDG_SESSION_TYPE", "WAYLAND_DISPLAY"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        ::unsetenv("DISPLAY");
        ::setenv("XDG_SESSION_TYPE", "wayland", 1);
        ::setenv("WAYLAND_DISPLAY", "wayland-0", 1);
        SystemLog::setSink([this](LogLevel level, const std::string&, const std::string&, const std::string& m) {
            if (level == LogLevel::error) errors_.push_back(m);
        });
    }
    void TearDown() override {
        SystemLog::setSink(nullptr);
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }
    bool logged(const std::string& part) const {
        for (const auto& e : errors_)
            if (e.find(part) != std::string::npos) return true;
        return false;
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    std::vector<std::string> errors_;
};

TEST_F(WaylandSession, BackendsSaySoInsteadOfActing) {
    EXPECT_TRUE(input::waylandWithoutX11());
    EXPECT_THROW(desktop::X11Desktop(), desktop::DesktopError);

    desktop::X11Workspace workspace;
    EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
    EXPECT_EQ(workspace.frontmostProcessId(), std::nullopt);
    EXPECT_TRUE(workspace.windowList().empty());

    desktop::X11Pasteboard pasteboard;
    pasteboard.setString("texto");
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    EXPECT_TRUE(logged("Wayland session: the clipboard"));

    input::XTestKeySynth keys;
    keys.paste(input::KeyTarget::ordinary);
    EXPECT_FALSE(keys.undo(input::KeyTarget::ordinary));
    EXPECT_TRUE(logged("Wayland session: synthetic keys"));

    desktop::X11WindowScreenshot screenshot;
    EXPECT_FALSE(screenshot.isCaptureAllowed());
    // Not an empty list: the window picture's caller logs the failure.
    EXPECT_THROW(screenshot.capturableWindows(), desktop::DesktopError);

    accessibility::AtspiAccessibility accessibility;
    EXPECT_FALSE(accessibility.isProcessTrusted());
    EXPECT_EQ(accessibility.trustGap(), accessibility::TrustGap::noX11Session);
    EXPECT_EQ(accessibility.focusedElement(1234), nullptr);
}

TEST(SessionType, X11WithAWaylandCompositorStillHasItsDisplay) {
    const char* display = std::getenv("DISPLAY");
    ::setenv("XDG_SESSION_TYPE", "wayland", 1);
    ::setenv("DISPLAY", ":7", 1);
    EXPECT_FALSE(input::waylandWithoutX11());
    ::unsetenv("XDG_SESSION_TYPE");
    if (display != nullptr) ::setenv("DISPLAY", display, 1);
    else ::unsetenv("DISPLAY");
}

}  // namespace
