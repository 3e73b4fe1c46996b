#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/desktop/Notifier.hpp"

namespace platform::desktop {

class NotificationSignals;

// Notifications through the desktop's notification server
// (org.freedesktop.Notifications). Authorisation is the server being there.
// Each notification carries a default action, so a click on it is reported
// (ActionInvoked) and reaches the response handler on the main queue. Make it
// on the thread that runs the Qt event loop: the server's signals arrive there.
class DBusNotifier final : public Notifier {
public:
    DBusNotifier();
    ~DBusNotifier() override;

    void requestAuthorization(AuthorizationHandler handler) override;
    void post(const Notification& notification) override;
    void removeDelivered(const std::string& identifier) override;
    void setResponseHandler(ResponseHandler handler) override;

private:
    friend class NotificationSignals;
    void invoked(uint32_t id);
    void closed(uint32_t id);

    std::mutex mutex_;
    std::map<std::string, uint32_t> delivered_;  // identifier -> server id
    ResponseHandler handler_;
    std::unique_ptr<NotificationSignals> signals_;
};

}  // namespace platform::desktop
