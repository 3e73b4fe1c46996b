#include "app/System/Permissions.hpp"

#include <mutex>

#include "app/Support/ScreenContextConsent.hpp"
#include "platform/foundation/UserDefaults.hpp"

namespace Parlox {
namespace {

std::mutex tableMutex;

FakePermissions::Table& storedTable() {
    static FakePermissions::Table table =
        FakePermissions::table(platform::UserDefaults::standard().dictionary("fakePermissions"));
    return table;
}

PermissionState askedOr(bool allowed, std::string_view askedKey) {
    if (allowed) return PermissionState::granted;
    return platform::UserDefaults::standard().boolean(askedKey, false) ? PermissionState::denied
                                                                        : PermissionState::notAsked;
}

}  // namespace

std::string PermissionState::rawValue() const {
    switch (value_) {
        case granted:
            return "concedido";
        case denied:
            return "denegado";
        case notAsked:
            return "sin preguntar";
        case unknown:
            return "desconocido";
    }
    return {};
}

std::optional<PermissionState> PermissionState::fromRawValue(std::string_view raw) {
    for (Value value : allCases())
        if (PermissionState(value).rawValue() == raw) return PermissionState(value);
    return std::nullopt;
}

FakePermissions::Table FakePermissions::table(const std::optional<nlohmann::json>& stored) {
    Table table;
    if (!stored || !stored->is_object()) return table;
    for (const auto& [name, value] : stored->items())
        if (!value.is_string()) return {};
    for (const auto& [name, value] : stored->items()) {
        const auto& text = value.get_ref<const std::string&>();
        if (text == "granted")
            table.emplace(name, PermissionState::granted);
        else if (text == "denied")
            table.emplace(name, PermissionState::denied);
        else if (text == "notAsked")
            table.emplace(name, PermissionState::notAsked);
    }
    return table;
}

std::optional<PermissionState> FakePermissions::state(std::string_view name) {
    std::lock_guard lock(tableMutex);
    const Table& table = storedTable();
    auto it = table.find(std::string(name));
    if (it == table.end()) return std::nullopt;
    return it->second;
}

void FakePermissions::reload() {
    std::lock_guard lock(tableMutex);
    storedTable() = table(platform::UserDefaults::standard().dictionary("fakePermissions"));
}

PermissionState MicrophonePermission::state(platform::audio::AudioSystem& audio) {
    if (auto fake = FakePermissions::state("microphone")) return *fake;
    using platform::audio::RecordPermission;
    switch (audio.recordPermission()) {
        case RecordPermission::granted:
            return PermissionState::granted;
        case RecordPermission::undetermined:
            return PermissionState::notAsked;
        case RecordPermission::denied:
        case RecordPermission::restricted:
            return PermissionState::denied;
    }
    return PermissionState::unknown;
}

void MicrophonePermission::request(std::shared_ptr<platform::audio::AudioSystem> audio,
                                   std::shared_ptr<platform::Scheduler> scheduler,
                                   std::function<void(bool)> completion) {
    // The desktop may keep the question open for as long as the user takes.
    auto job = [audio, scheduler, completion = std::move(completion)] {
        const bool granted = audio->requestRecordPermission();
        scheduler->post([completion, granted] {
            if (completion) completion(granted);
        });
    };
    scheduler->background(std::move(job));
}

PermissionState AccessibilityPermission::state(platform::accessibility::Accessibility& accessibility) {
    if (auto fake = FakePermissions::state("accessibility")) return *fake;
    return state(accessibility.lastKnownTrustGap());
}

PermissionState AccessibilityPermission::state(platform::accessibility::TrustGap gap) {
    using platform::accessibility::TrustGap;
    if (auto fake = FakePermissions::state("accessibility")) return *fake;
    if (gap == TrustGap::noAnswer) return PermissionState::unknown;
    return askedOr(gap == TrustGap::none, "askedForAccessibility");
}

void AccessibilityPermission::request(platform::accessibility::Accessibility& accessibility) {
    platform::UserDefaults::standard().set("askedForAccessibility", true);
    accessibility.requestTrust();
}

std::optional<PermissionState> ScreenRecordingPermission::knownWithoutDesktop() {
    if (auto fake = FakePermissions::state("screenRecording")) return *fake;
    // A withdrawn yes can be given again: the row asks again, as the first time.
    if (!ScreenContextConsent::given()) return PermissionState::notAsked;
    return std::nullopt;
}

bool ScreenRecordingPermission::refused() {
    const auto known = knownWithoutDesktop();
    return known && *known != PermissionState::granted;
}

PermissionState ScreenRecordingPermission::state(platform::desktop::WindowScreenshot& screenshots) {
    if (auto known = knownWithoutDesktop()) return *known;
    return screenshots.isCaptureAllowed() ? PermissionState::granted : PermissionState::denied;
}

void ScreenRecordingPermission::request(platform::desktop::WindowScreenshot& screenshots) {
    platform::UserDefaults::standard().set("askedForScreenRecording", true);
    ScreenContextConsent::give();
    screenshots.requestCaptureAccess();
}

bool openPrivacySettings(platform::desktop::SystemSettings& settings, const std::string& anchor) {
    return settings.openPrivacySettings(anchor);
}

}  // namespace Parlox
