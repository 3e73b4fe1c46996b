#pragma once

#include <functional>
#include <string>

namespace platform::desktop {

// An update on offer.
struct UpdateItem {
    std::string displayVersion;

    friend bool operator==(const UpdateItem&, const UpdateItem&) = default;
};

// What the update service asks of the application and tells it, on the
// main thread.
class UpdateServiceDelegate {
public:
    virtual ~UpdateServiceDelegate() = default;

    // Whether scheduled checks may leave the announcement of an update to the application.
    virtual bool supportsGentleScheduledUpdateReminders() = 0;
    // Whether the service shows its own window for an update a scheduled
    // check found, given whether the application is in immediate focus.
    virtual bool shouldHandleShowingScheduledUpdate(const UpdateItem& item, bool immediateFocus) = 0;
    // The service is about to present `item`; `handleShowing` tells whether
    // it shows its own window, `userInitiated` whether the user asked for the check.
    virtual void willHandleShowingUpdate(bool handleShowing, const UpdateItem& item, bool userInitiated) = 0;
    // The user has seen the update.
    virtual void didReceiveUserAttention(const UpdateItem& item) = 0;
    // The update session ends (installed, skipped, dismissed or failed).
    virtual void willFinishUpdateSession() = 0;
    // The update is installed and the application would relaunch now. Return
    // true to hold the relaunch until `relaunch` is called.
    virtual bool shouldPostponeRelaunch(const UpdateItem& item, std::function<void()> relaunch) = 0;
    // A check found nothing newer.
    virtual void didNotFindUpdate(bool userInitiated) = 0;
};

// The outside service that finds and installs updates of the application.
class UpdateService {
public:
    virtual ~UpdateService() = default;

    // Whether there is a service that looks for updates at all: a desktop
    // without one checks nothing, and nothing may claim it did.
    virtual bool isAvailable() const = 0;
    // Starts scheduled checking, reporting to `delegate` (which outlives the service).
    virtual void start(UpdateServiceDelegate* delegate) = 0;
    // A check the user asked for.
    virtual void checkForUpdates() = 0;
};

}  // namespace platform::desktop
