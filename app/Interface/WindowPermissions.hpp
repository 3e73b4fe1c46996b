#pragma once

#include <functional>
#include <string>

#include "app/Interface/WindowServices.hpp"
#include "app/System/Permissions.hpp"

class QWidget;

namespace Parlox {

// The three permissions as the windows read them and ask for them. A
// service the shell did not provide reads as unknown and asks nothing.
class WindowPermissions {
public:
    static constexpr const char* microphoneAnchor = "Privacy_Microphone";
    static constexpr const char* accessibilityAnchor = "Privacy_Accessibility";
    static constexpr const char* screenCaptureAnchor = "Privacy_ScreenCapture";

    explicit WindowPermissions(const WindowServices& services) : services_(services) {}

    PermissionState microphone() const;
    PermissionState accessibility() const;
    PermissionState screenRecording() const;

    // The answer arrives later, on the main thread.
    void requestMicrophone(std::function<void(bool)> answered) const;
    void requestAccessibility() const;
    // Remembers that the user was asked, then asks.
    void requestScreenRecording() const;

    // Opens the desktop's own settings for the permission; where the desktop
    // has none, tells the user what to do instead.
    void openSettings(const std::string& anchor, QWidget* parent) const;
    // What the user is told for an anchor the desktop cannot open.
    static QString whatToDo(const std::string& anchor);

private:
    const WindowServices& services_;
};

}  // namespace Parlox
