#include <gtest/gtest.h>

#include "app/Support/ScreenContextConsent.hpp"
#include "app/System/Permissions.hpp"
#include "platform/accessibility/fake/FakeAccessibility.hpp"
#include "platform/audio/fake/FakeAudioSystem.hpp"
#include "platform/concurrency/fake/ManualScheduler.hpp"
#include "platform/desktop/fake/FakeSystemSettings.hpp"
#include "platform/desktop/fake/FakeWindowScreenshot.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"

namespace {

using Parlox::FakePermissions;
using Parlox::PermissionState;
using Json = nlohmann::json;

class PermissionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = platform::UserDefaults::setStandard(defaults);
        FakePermissions::reload();
    }
    void TearDown() override {
        platform::UserDefaults::setStandard(previous);
        FakePermissions::reload();
    }
    void fake(const Json& value) {
        defaults->set("fakePermissions", value);
        FakePermissions::reload();
    }

    std::shared_ptr<platform::InMemoryUserDefaults> defaults = std::make_shared<platform::InMemoryUserDefaults>();
    std::shared_ptr<platform::UserDefaults> previous;
    platform::audio::FakeAudioSystem audio;
    platform::accessibility::FakeAccessibility accessibility;
    platform::desktop::FakeWindowScreenshot screenshots;
};

TEST(PermissionStateRaw, ExactlyTheFourSpanishTexts) {
    for (auto value : PermissionState::allCases())
        EXPECT_EQ(PermissionState::fromRawValue(PermissionState(value).rawValue()), PermissionState(value));
    EXPECT_EQ(PermissionState(PermissionState::notAsked).rawValue(), "sin preguntar");
    EXPECT_FALSE(PermissionState::fromRawValue("Concedido"));
    EXPECT_FALSE(PermissionState::fromRawValue("granted"));
}

TEST(FakePermissionsTable, BuiltFromTheStoredDictionary) {
    using Table = FakePermissions::Table;
    EXPECT_EQ(FakePermissions::table(std::nullopt), Table{});
    EXPECT_EQ(FakePermissions::table(Json("granted")), Table{});
    EXPECT_EQ(FakePermissions::table(Json{{"microphone", "granted"}, {"accessibility", "notAsked"}, {"x", "denied"}}),
              (Table{{"microphone", PermissionState::granted},
                     {"accessibility", PermissionState::notAsked},
                     {"x", PermissionState::denied}}));
    // Unknown texts drop their entry; one value that is not text drops everything.
    EXPECT_EQ(FakePermissions::table(Json{{"microphone", "unknown"}, {"accessibility", "concedido"}}), Table{});
    EXPECT_EQ(FakePermissions::table(Json{{"microphone", "granted"}, {"accessibility", true}}), Table{});
}

TEST_F(PermissionsTest, TheOverrideWinsAndIsReadOncePerProcess) {
    accessibility.trusted = false;
    fake({{"accessibility", "granted"}});
    EXPECT_EQ(Parlox::AccessibilityPermission::state(accessibility), PermissionState::granted);
    EXPECT_EQ(Parlox::MicrophonePermission::state(audio), PermissionState::granted);  // from the system
    defaults->set("fakePermissions", Json{{"accessibility", "denied"}});  // not reloaded: no effect
    EXPECT_EQ(Parlox::AccessibilityPermission::state(accessibility), PermissionState::granted);
}

TEST_F(PermissionsTest, MicrophoneFollowsTheSystem) {
    using platform::audio::RecordPermission;
    struct Case {
        RecordPermission system;
        PermissionState::Value state;
    };
    for (const Case& c : {Case{RecordPermission::granted, PermissionState::granted},
                          Case{RecordPermission::undetermined, PermissionState::notAsked},
                          Case{RecordPermission::restricted, PermissionState::denied},
                          Case{RecordPermission::denied, PermissionState::denied}}) {
        audio.permissionStatus = c.system;
        EXPECT_EQ(Parlox::MicrophonePermission::state(audio), c.state);
    }
}

TEST_F(PermissionsTest, AskedFlagsTellDeniedFromNotAsked) {
    accessibility.trusted = false;
    EXPECT_EQ(Parlox::AccessibilityPermission::state(accessibility), PermissionState::notAsked);
    Parlox::AccessibilityPermission::request(accessibility);
    EXPECT_EQ(accessibility.trustRequests(), 1);
    EXPECT_EQ(defaults->optionalBool("askedForAccessibility"), true);
    EXPECT_EQ(Parlox::AccessibilityPermission::state(accessibility), PermissionState::denied);
    accessibility.trusted = true;
    EXPECT_EQ(Parlox::AccessibilityPermission::state(accessibility), PermissionState::granted);

    screenshots.allowed = false;
    EXPECT_EQ(Parlox::ScreenRecordingPermission::state(screenshots), PermissionState::notAsked);
    Parlox::ScreenRecordingPermission::request(screenshots);
    EXPECT_EQ(Parlox::ScreenRecordingPermission::state(screenshots), PermissionState::denied);
}

// A desktop too busy to answer a look in time says nothing: the state stays
// what it last answered, unknown before its first answer.
TEST_F(PermissionsTest, ALookLeftUnansweredKeepsTheLastAnswer) {
    using platform::accessibility::TrustGap;
    const auto look = [this](bool trusted, TrustGap gap) {
        accessibility.trusted = trusted;
        accessibility.untrustedBecause = gap;
        return Parlox::AccessibilityPermission::state(accessibility);
    };
    EXPECT_EQ(look(false, TrustGap::noAnswer), PermissionState::unknown);
    EXPECT_EQ(look(true, TrustGap::none), PermissionState::granted);
    EXPECT_EQ(look(false, TrustGap::noAnswer), PermissionState::granted);
    EXPECT_EQ(look(false, TrustGap::assistiveTechnologiesOff), PermissionState::notAsked);
    EXPECT_EQ(look(false, TrustGap::noAnswer), PermissionState::notAsked);
    EXPECT_EQ(Parlox::AccessibilityPermission::state(TrustGap::noAnswer), PermissionState::unknown);
}

// The window picture has no question of the desktop's: the user's yes is it.
TEST_F(PermissionsTest, TheWindowPictureIsNotAskedUntilTheUserSaysYes) {
    using Parlox::ScreenRecordingPermission;
    screenshots.allowed = true;
    EXPECT_EQ(ScreenRecordingPermission::state(screenshots), PermissionState::notAsked);
    EXPECT_TRUE(ScreenRecordingPermission::refused());
    defaults->set("screenContext", true);  // stored before anyone asked
    EXPECT_EQ(ScreenRecordingPermission::state(screenshots), PermissionState::notAsked);

    ScreenRecordingPermission::request(screenshots);
    EXPECT_EQ(screenshots.accessRequests(), 1);
    EXPECT_EQ(defaults->optionalBool("screenContextAllowed"), true);
    EXPECT_EQ(defaults->optionalBool("screenContext"), true);
    EXPECT_EQ(defaults->optionalBool("askedForScreenRecording"), true);
    EXPECT_EQ(ScreenRecordingPermission::state(screenshots), PermissionState::granted);
    EXPECT_FALSE(ScreenRecordingPermission::refused());

    Parlox::ScreenContextConsent::withdraw();
    EXPECT_EQ(ScreenRecordingPermission::state(screenshots), PermissionState::notAsked);
    EXPECT_TRUE(ScreenRecordingPermission::refused());

    // The debug override still decides first.
    fake({{"screenRecording", "granted"}});
    EXPECT_EQ(ScreenRecordingPermission::state(screenshots), PermissionState::granted);
    EXPECT_FALSE(ScreenRecordingPermission::refused());
}

TEST_F(PermissionsTest, TheMicrophoneAnswerArrivesOnTheMainThreadAndSettingsOpenByAnchor) {
    auto scheduler = std::make_shared<platform::ManualScheduler>();
    auto system = std::make_shared<platform::audio::FakeAudioSystem>();
    std::optional<bool> answer;
    Parlox::MicrophonePermission::request(system, scheduler, [&](bool granted) { answer = granted; });
    EXPECT_FALSE(answer);
    scheduler->settle();
    EXPECT_EQ(answer, true);

    platform::desktop::FakeSystemSettings settings;
    EXPECT_TRUE(Parlox::openPrivacySettings(settings, "Privacy_Microphone"));
    EXPECT_EQ(settings.opened, (std::vector<std::string>{"Privacy_Microphone"}));
}

}  // namespace
