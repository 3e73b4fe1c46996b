#include <gtest/gtest.h>

#include "app/System/Updater.hpp"
#include "platform/desktop/NoUpdateService.hpp"
#include "platform/desktop/fake/FakeNotifier.hpp"
#include "platform/desktop/fake/FakeUpdateService.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"
#include "tests/app/Dictation/DictationFixture.hpp"

namespace {

using Parlox::Updater;
using platform::desktop::UpdateItem;

class UpdaterTest : public ::testing::Test {
protected:
    void SetUp() override { previous = platform::UserDefaults::setStandard(defaults); }
    void TearDown() override { platform::UserDefaults::setStandard(previous); }

    std::shared_ptr<platform::InMemoryUserDefaults> defaults = std::make_shared<platform::InMemoryUserDefaults>();
    std::shared_ptr<platform::UserDefaults> previous;
    std::shared_ptr<platform::desktop::FakeUpdateService> service =
        std::make_shared<platform::desktop::FakeUpdateService>();
    std::shared_ptr<platform::desktop::FakeNotifier> notifier = std::make_shared<platform::desktop::FakeNotifier>();
    dictation_test::LogCapture log;
};

TEST_F(UpdaterTest, AnUpdateFoundInTheBackgroundIsAnnouncedOnce) {
    Updater updater(service, notifier);
    EXPECT_EQ(service->delegate, &updater);
    EXPECT_TRUE(updater.supportsGentleScheduledUpdateReminders());
    EXPECT_FALSE(updater.shouldHandleShowingScheduledUpdate({"2.1"}, false));
    EXPECT_TRUE(updater.shouldHandleShowingScheduledUpdate({"2.1"}, true));

    int changes = 0;
    auto connection = updater.availableVersionChanged().connect([&] { ++changes; });
    updater.willHandleShowingUpdate(false, {"2.1"}, false);
    EXPECT_EQ(updater.availableVersion(), "2.1");
    ASSERT_EQ(notifier->posted.size(), 1u);
    EXPECT_EQ(notifier->posted[0], (platform::desktop::Notification{"qz.tamo.Parlox.update",
                                                                    "Hay una versión nueva de Parlox",
                                                                    "La 2.1 está lista. Pulsa para actualizar."}));
    updater.willHandleShowingUpdate(true, {"2.1"}, false);  // shown by the service: no notice
    updater.willHandleShowingUpdate(false, {"2.1"}, true);  // the user asked: no notice
    EXPECT_EQ(notifier->posted.size(), 1u);
    EXPECT_EQ(changes, 1);

    updater.didReceiveUserAttention({"2.1"});
    EXPECT_EQ(notifier->removed, (std::vector<std::string>{"qz.tamo.Parlox.update"}));
    updater.willFinishUpdateSession();
    EXPECT_EQ(updater.availableVersion(), std::nullopt);
    EXPECT_EQ(changes, 2);
}

TEST_F(UpdaterTest, NoNoticeWithoutAuthorisationAndThePreviewVersionShowsFromLaunch) {
    defaults->set("previewUpdate", "9.9");
    notifier->grants = false;
    Updater updater(service, notifier);
    EXPECT_EQ(updater.availableVersion(), "9.9");
    updater.willHandleShowingUpdate(false, {"2.1"}, false);
    EXPECT_TRUE(notifier->posted.empty());
    EXPECT_EQ(updater.availableVersion(), "2.1");
}

TEST_F(UpdaterTest, ARelaunchWaitsForTheDictationAndOnlyTheLatestRuns) {
    Updater updater(service, notifier);
    bool busy = true;
    updater.isBusy = [&] { return busy; };
    std::vector<int> relaunched;
    EXPECT_TRUE(updater.shouldPostponeRelaunch({"2.1"}, [&] { relaunched.push_back(1); }));
    EXPECT_TRUE(updater.shouldPostponeRelaunch({"2.2"}, [&] { relaunched.push_back(2); }));
    EXPECT_TRUE(log.contains("Actualización a la 2.2 aplazada hasta que acabe el dictado"));
    updater.runPostponedInstall();
    updater.runPostponedInstall();
    EXPECT_EQ(relaunched, (std::vector<int>{2}));
    busy = false;
    EXPECT_FALSE(updater.shouldPostponeRelaunch({"2.3"}, [] {}));
    EXPECT_FALSE(updater.postponedInstall);
}

TEST_F(UpdaterTest, ClicksOnTheUpdateNoticeStartACheck) {
    auto updater = std::make_shared<Updater>(service, notifier);
    int activations = 0;
    Parlox::NotificationRouter router(updater, [&] { ++activations; });
    router.install(*notifier);
    notifier->click("otra.cosa");
    EXPECT_EQ(service->checks, 0);
    notifier->click("qz.tamo.Parlox.update");
    EXPECT_EQ(service->checks, 1);
    EXPECT_EQ(activations, 1);
}

// Nothing may claim a check that was never made.
TEST_F(UpdaterTest, WithoutAnUpdateServiceNothingIsCheckedAndTheLogSaysSo) {
    Updater updater(std::make_shared<platform::desktop::NoUpdateService>(), notifier);
    EXPECT_FALSE(updater.canCheck());
    int answers = 0;
    auto connection = updater.checkImpossible().connect([&] { ++answers; });
    updater.checkForUpdates();
    EXPECT_EQ(answers, 1);
    EXPECT_TRUE(log.contains(
        "Actualizaciones: no hay servicio de actualizaciones, no se ha buscado ninguna versión nueva"));
    EXPECT_FALSE(log.contains("Actualizaciones: no hay ninguna versión nueva"));
    EXPECT_EQ(updater.availableVersion(), std::nullopt);
    EXPECT_FALSE(Updater(nullptr, notifier).canCheck());

    // With a service the check is the service's, and so is the answer.
    Updater withService(service, notifier);
    EXPECT_TRUE(withService.canCheck());
    auto noAnswer = withService.checkImpossible().connect([&] { ++answers; });
    withService.checkForUpdates();
    EXPECT_EQ(service->checks, 1);
    EXPECT_EQ(answers, 1);
    withService.didNotFindUpdate(true);
    EXPECT_TRUE(log.contains("Actualizaciones: no hay ninguna versión nueva"));
}

}  // namespace
