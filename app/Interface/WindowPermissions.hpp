#pragma once

#include <functional>
#include <string>

#include <QString>

#include "app/Interface/WindowServices.hpp"
#include "app/System/Permissions.hpp"
#include "platform/accessibility/Accessibility.hpp"

class QWidget;

namespace Parlox {

// One of the three rows as the windows show it now: its state, the line
// under its title (what the row is for and what it checks or, while it is
// missing, what the user can do) and what its badge offers.
struct PermissionReading {
    PermissionState state = PermissionState::unknown;
    QString detail;
    bool offersRequest = false;   // "Activar": turns it on
    bool offersSettings = false;  // "Abrir ajustes": the desktop's page for it

    friend bool operator==(const PermissionReading&, const PermissionReading&) = default;
};

// What Parlox needs from this desktop, as the windows read it and turn it
// on: a microphone on the sound server, the desktop's assistive
// technologies (with synthetic keys) and, for the window picture, the
// user's yes and an X11 session. A service the shell did not provide reads
// as unknown and offers nothing.
class WindowPermissions {
public:
    static constexpr const char* microphoneAnchor = "Privacy_Microphone";
    static constexpr const char* accessibilityAnchor = "Privacy_Accessibility";

    explicit WindowPermissions(const WindowServices& services) : services_(services) {}

    PermissionState microphone() const;
    PermissionState screenRecording() const;

    // Each row as it reads now.
    PermissionReading readMicrophone() const;
    PermissionReading readAccessibility() const;
    // Missing, offering "Activar", until the user says yes; its line says
    // what goes where.
    PermissionReading readWindowPicture() const;

    // Turns the desktop's assistive technologies on.
    void requestAccessibility() const;
    // The user's yes to the window picture.
    void allowWindowPicture() const;

    // Opens the desktop's own settings for the anchor (the microphone's or
    // the accessibility's); where that fails, tells the user what to do
    // instead.
    void openSettings(const std::string& anchor, QWidget* parent) const;
    // What a row's "Abrir ajustes" does: openSettings() for the anchor;
    // nothing for a row without one (the window picture has no settings).
    std::function<void()> settingsOpener(const char* anchor, QWidget* parent) const;
    // What the user is told for an anchor the desktop cannot open.
    static QString whatToDo(const std::string& anchor);

private:
    // The accessibility's state and why it is missing (none while it is
    // there), from one look at the desktop.
    struct AccessibilityCheck {
        PermissionState state;
        platform::accessibility::TrustGap gap;
    };
    AccessibilityCheck checkAccessibility() const;
    bool hasSettings(const char* anchor) const;

    const WindowServices& services_;
};

}  // namespace Parlox
