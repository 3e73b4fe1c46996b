#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/accessibility/Accessibility.hpp"
#include "platform/audio/AudioSystem.hpp"
#include "platform/concurrency/Scheduler.hpp"
#include "platform/desktop/SystemSettings.hpp"
#include "platform/desktop/WindowScreenshot.hpp"

namespace Parlox {

// The state of one permission, as every screen shows it.
class PermissionState {
public:
    enum Value { granted, denied, notAsked, unknown };

    constexpr PermissionState(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    // "concedido", "denegado", "sin preguntar", "desconocido".
    std::string rawValue() const;
    static std::optional<PermissionState> fromRawValue(std::string_view raw);
    static constexpr std::array<Value, 4> allCases() { return {granted, denied, notAsked, unknown}; }

private:
    Value value_;
};

// A debug override of the permission readers: the user default
// "fakePermissions", a dictionary from "microphone", "accessibility" or
// "screenRecording" to "granted", "denied" or "notAsked". Read once per
// process; a value that is not a string refuses the whole dictionary,
// other texts drop their entry.
struct FakePermissions {
    using Table = std::map<std::string, PermissionState>;

    static std::optional<PermissionState> state(std::string_view name);
    // The table as the stored value gives it.
    static Table table(const std::optional<nlohmann::json>& stored);
    // Reads the user default again (the application reads it once; tests change it).
    static void reload();
};

// The microphone permission, through the audio system.
struct MicrophonePermission {
    static PermissionState state(platform::audio::AudioSystem& audio);
    // Asks for access; `completion` runs on the main thread with the answer.
    static void request(std::shared_ptr<platform::audio::AudioSystem> audio,
                        std::shared_ptr<platform::Scheduler> scheduler, std::function<void(bool)> completion);
};

struct AccessibilityPermission {
    // Trusted: granted; otherwise denied once the user was asked ("askedForAccessibility"), else notAsked.
    // A look the desktop leaves unanswered reads as its last answer, unknown before the first.
    static PermissionState state(platform::accessibility::Accessibility& accessibility);
    // The same for a trust already read; unknown for TrustGap::noAnswer.
    static PermissionState state(platform::accessibility::TrustGap gap);
    // Remembers that the user was asked, then asks.
    static void request(platform::accessibility::Accessibility& accessibility);
};

// The window picture: the user's yes (ScreenContextConsent) stands for the
// question the desktop never asks.
struct ScreenRecordingPermission {
    // notAsked until the user says yes; then granted where windows can be
    // photographed, denied where not.
    static PermissionState state(platform::desktop::WindowScreenshot& screenshots);
    // The state where it needs no look at the desktop (the override, or no
    // yes); none when only the desktop can tell.
    static std::optional<PermissionState> knownWithoutDesktop();
    // No picture may go now: the override or the user says no.
    static bool refused();
    // The user's yes, remembered with the question ("askedForScreenRecording"); then the desktop is asked.
    static void request(platform::desktop::WindowScreenshot& screenshots);
};

// Opens the desktop's privacy settings at "Privacy_Microphone",
// "Privacy_Accessibility" or "Privacy_ScreenCapture"; false when it has none.
bool openPrivacySettings(platform::desktop::SystemSettings& settings, const std::string& anchor);

}  // namespace Parlox
