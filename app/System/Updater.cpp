#include "app/System/Updater.hpp"

#include "app/Support/Log.hpp"
#include "platform/foundation/UserDefaults.hpp"

namespace Parlox {

Updater::Updater(std::shared_ptr<platform::desktop::UpdateService> service,
                 std::shared_ptr<platform::desktop::Notifier> notifier)
    : service_(std::move(service)),
      notifier_(std::move(notifier)),
      availableVersion_(platform::UserDefaults::standard().string("previewUpdate")) {
    if (service_) service_->start(this);
}

std::string Updater::notificationBody(const std::string& version) {
    return "La " + version + " está lista. Pulsa para actualizar.";
}

void Updater::runPostponedInstall() {
    if (auto install = std::exchange(postponedInstall, nullptr)) install();
}

bool Updater::canCheck() const { return service_ && service_->isAvailable(); }

void Updater::checkForUpdates() {
    if (!canCheck()) {
        Log::info("Actualizaciones: no hay servicio de actualizaciones, no se ha buscado ninguna versión nueva");
        checkImpossible_.emit();
        return;
    }
    service_->checkForUpdates();
}

void Updater::setAvailableVersion(std::optional<std::string> version) {
    if (version == availableVersion_) return;
    availableVersion_ = std::move(version);
    availableVersionChanged_.emit();
}

bool Updater::shouldHandleShowingScheduledUpdate(const platform::desktop::UpdateItem&, bool immediateFocus) {
    return immediateFocus;
}

void Updater::willHandleShowingUpdate(bool handleShowing, const platform::desktop::UpdateItem& item,
                                      bool userInitiated) {
    setAvailableVersion(item.displayVersion);
    if (!handleShowing && !userInitiated) postNotification(item.displayVersion);
}

void Updater::postNotification(const std::string& version) {
    if (!notifier_) return;
    std::weak_ptr<platform::desktop::Notifier> weak = notifier_;
    notifier_->requestAuthorization([weak, version](bool granted) {
        auto notifier = weak.lock();
        if (!granted || !notifier) return;
        notifier->post({notificationIdentifier, notificationTitle, notificationBody(version)});
    });
}

void Updater::didReceiveUserAttention(const platform::desktop::UpdateItem&) {
    if (notifier_) notifier_->removeDelivered(notificationIdentifier);
}

void Updater::willFinishUpdateSession() { setAvailableVersion(std::nullopt); }

bool Updater::shouldPostponeRelaunch(const platform::desktop::UpdateItem& item, std::function<void()> relaunch) {
    if (!isBusy || !isBusy()) return false;
    Log::info("Actualización a la " + item.displayVersion + " aplazada hasta que acabe el dictado");
    // A relaunch stored earlier and not run is dropped.
    postponedInstall = std::move(relaunch);
    return true;
}

void Updater::didNotFindUpdate(bool) { Log::info("Actualizaciones: no hay ninguna versión nueva"); }

NotificationRouter::NotificationRouter(std::shared_ptr<Updater> updater, std::function<void()> activate)
    : updater_(updater), activate_(std::move(activate)) {}

void NotificationRouter::install(platform::desktop::Notifier& notifier) {
    notifier.setResponseHandler([this](const std::string& identifier) { didReceiveResponse(identifier); });
}

void NotificationRouter::didReceiveResponse(const std::string& identifier) {
    if (identifier != Updater::notificationIdentifier) return;
    if (activate_) activate_();
    if (auto updater = updater_.lock()) updater->checkForUpdates();
}

}  // namespace Parlox
