#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/concurrency/Signal.hpp"
#include "platform/desktop/Notifier.hpp"
#include "platform/desktop/UpdateService.hpp"

namespace Parlox {

// The application's side of updates: it answers the update service, offers
// the version found (an observable value the menu bar panel shows), posts a
// desktop notification for an update found in the background, and holds a
// relaunch back while a dictation is under way. Main thread only.
class Updater : public platform::desktop::UpdateServiceDelegate {
public:
    static constexpr const char* notificationIdentifier = "qz.tamo.Parlox.update";
    static constexpr const char* notificationTitle = "Hay una versión nueva de Parlox";

    // Starts the service at once. The "previewUpdate" user default, when it
    // holds a text, is offered from the start.
    Updater(std::shared_ptr<platform::desktop::UpdateService> service,
            std::shared_ptr<platform::desktop::Notifier> notifier);

    const std::optional<std::string>& availableVersion() const { return availableVersion_; }
    platform::Signal<>& availableVersionChanged() { return availableVersionChanged_; }

    // True while a dictation is under way; set once at launch.
    std::function<bool()> isBusy = [] { return false; };
    // The relaunch of an update that waits for the dictation to end.
    std::function<void()> postponedInstall;
    // Takes the postponed relaunch (clearing it) and runs it, if there is one.
    void runPostponedInstall();

    // Whether a check can be made: there is an update service here.
    bool canCheck() const;
    // A check the user asked for. Without an update service nothing is
    // checked: the log says so and checkImpossible() fires, for the
    // application to tell the user.
    void checkForUpdates();
    platform::Signal<>& checkImpossible() { return checkImpossible_; }

    static std::string notificationBody(const std::string& version);

    // ---- The service's delegate ----
    bool supportsGentleScheduledUpdateReminders() override { return true; }
    bool shouldHandleShowingScheduledUpdate(const platform::desktop::UpdateItem& item, bool immediateFocus) override;
    void willHandleShowingUpdate(bool handleShowing, const platform::desktop::UpdateItem& item,
                                 bool userInitiated) override;
    void didReceiveUserAttention(const platform::desktop::UpdateItem& item) override;
    void willFinishUpdateSession() override;
    bool shouldPostponeRelaunch(const platform::desktop::UpdateItem& item, std::function<void()> relaunch) override;
    void didNotFindUpdate(bool userInitiated) override;

private:
    void setAvailableVersion(std::optional<std::string> version);
    void postNotification(const std::string& version);

    std::shared_ptr<platform::desktop::UpdateService> service_;
    std::shared_ptr<platform::desktop::Notifier> notifier_;
    std::optional<std::string> availableVersion_;
    platform::Signal<> availableVersionChanged_;
    platform::Signal<> checkImpossible_;
};

// Handles clicks on the application's notifications: the update notice
// brings the application forward and starts a check the user asked for.
class NotificationRouter {
public:
    // `activate` brings the application forward (the shell provides it).
    NotificationRouter(std::shared_ptr<Updater> updater, std::function<void()> activate);

    // Installs itself as the notifier's click handler.
    void install(platform::desktop::Notifier& notifier);
    void didReceiveResponse(const std::string& identifier);

private:
    std::weak_ptr<Updater> updater_;
    std::function<void()> activate_;
};

}  // namespace Parlox
