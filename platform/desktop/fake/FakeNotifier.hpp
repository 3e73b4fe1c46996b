#pragma once

#include <string>
#include <vector>

#include "platform/desktop/Notifier.hpp"

namespace platform::desktop {

// Notifications for tests: answers authorisation at once with `grants`,
// records what is posted and removed, and lets a test click a notification.
class FakeNotifier final : public Notifier {
public:
    bool grants = true;
    int authorizationRequests = 0;
    std::vector<Notification> posted;
    std::vector<std::string> removed;

    void requestAuthorization(AuthorizationHandler handler) override {
        ++authorizationRequests;
        if (handler) handler(grants);
    }
    void post(const Notification& notification) override { posted.push_back(notification); }
    void removeDelivered(const std::string& identifier) override { removed.push_back(identifier); }
    void setResponseHandler(ResponseHandler handler) override { handler_ = std::move(handler); }

    // The user clicks the notification with this identifier.
    void click(const std::string& identifier) {
        if (handler_) handler_(identifier);
    }

private:
    ResponseHandler handler_;
};

}  // namespace platform::desktop
