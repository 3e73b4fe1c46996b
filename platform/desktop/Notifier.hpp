#pragma once

#include <functional>
#include <string>

namespace platform::desktop {

// One desktop notification.
struct Notification {
    std::string identifier;
    std::string title;
    std::string body;

    friend bool operator==(const Notification&, const Notification&) = default;
};

// The desktop's notifications.
class Notifier {
public:
    using AuthorizationHandler = std::function<void(bool granted)>;
    using ResponseHandler = std::function<void(const std::string& identifier)>;

    virtual ~Notifier() = default;

    // Asks to show alerts; the handler runs on any thread with the answer.
    virtual void requestAuthorization(AuthorizationHandler handler) = 0;
    // Shows the notification at once, replacing a delivered one with the
    // same identifier.
    virtual void post(const Notification& notification) = 0;
    // Takes delivered notifications with this identifier away.
    virtual void removeDelivered(const std::string& identifier) = 0;
    // Called on the main queue when the user clicks a notification.
    virtual void setResponseHandler(ResponseHandler handler) = 0;
};

}  // namespace platform::desktop
