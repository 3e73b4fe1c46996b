#include <QCoreApplication>
#include <QElapsedTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/App/LaunchAction.hpp"
#include "app/App/QtMainQueue.hpp"
#include "app/App/SingleInstance.hpp"
#include "platform/foundation/UniqueFd.hpp"
#include "platform/log/SystemLog.hpp"
#include "tests/app/ui/QtTestSupport.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace Parlox {
namespace {

using Kind = LaunchAction::Kind;

TEST(LaunchAction, SwitchesFirstThenFirstRunThenHiddenIcon) {
    struct LaunchCase {
        std::vector<std::string> arguments;
        LaunchAction::Situation situation;
        LaunchAction expected;
    };
    const LaunchAction::Situation setUp{.hasFinishedSetup = true, .showsMenuBarIcon = true};
    const LaunchAction::Situation firstRun{.hasFinishedSetup = false};
    const LaunchAction::Situation hiddenByHand{.hasFinishedSetup = true, .showsMenuBarIcon = false};
    const LaunchAction::Situation hiddenAtLogin{
        .hasFinishedSetup = true, .showsMenuBarIcon = false, .launchedAtLogin = true};
    const LaunchCase cases[] = {
        {{}, firstRun, {Kind::showWelcome}},
        {{}, setUp, {Kind::nothing}},
        {{}, hiddenByHand, {Kind::showSettings}},
        {{}, hiddenAtLogin, {Kind::nothing}},
        {{"--show-settings", "voice"}, firstRun, {Kind::showSettings, {}, "voice"}},
        {{"--show-settings"}, setUp, {Kind::showSettings}},
        {{"--show-settings", "bogus"}, setUp, {Kind::showSettings, {}, "bogus"}},
        {{"--show-welcome"}, setUp, {Kind::showWelcome}},
        // The first switch that applies wins, wherever it stands.
        {{"--show-settings", "general", "--demo-overlay"}, setUp, {Kind::demoOverlay}},
        {{"--show-welcome", "--show-panel-capture", "/tmp/p.png"}, setUp, {Kind::panelCapture, "/tmp/p.png"}},
        // The capture switch without a path is ignored.
        {{"--show-panel-capture"}, setUp, {Kind::nothing}},
        {{"--show-panel-capture"}, firstRun, {Kind::showWelcome}},
        // Unknown switches of the application change nothing.
        {{"--showcase"}, hiddenByHand, {Kind::showSettings}},
    };
    for (const LaunchCase& c : cases) {
        EXPECT_EQ(LaunchAction::decide(c.arguments, c.situation), c.expected)
            << (c.arguments.empty() ? std::string("(none)") : c.arguments[0]);
    }
}

TEST(LoginLaunch, VariableOrEarlyUptime) {
    struct Case {
        const char* variable;
        std::optional<double> uptime;
        bool atLogin;
    };
    const Case cases[] = {
        {"1", 5000.0, true},     {nullptr, 179.9, true}, {nullptr, 180.0, false}, {"", 5000.0, false},
        {"0", 5000.0, false},    {nullptr, std::nullopt, false}, {"1", std::nullopt, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoginLaunch::decide(c.variable, c.uptime), c.atLogin)
            << (c.variable ? c.variable : "unset") << " " << c.uptime.value_or(-1);
    }
    ASSERT_TRUE(LoginLaunch::uptime().has_value());
    EXPECT_GT(*LoginLaunch::uptime(), 0);
}

bool waitFor(const std::function<bool()>& done, int milliseconds = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Wherever the folder is: also one so deep (a long runtime or temporary
// folder) that the socket's path is longer than a socket address holds.
TEST(SingleInstance, SecondStartAsksTheFirstAndEnds) {
    ui_test::application();
    parlox::testing::TemporaryFolder temporary;
    const std::filesystem::path deep = temporary / std::string(60, 'd') / std::string(60, 'd');
    for (const std::filesystem::path& folder : {temporary.path(), deep}) {
        SCOPED_TRACE(folder.string());
        SingleInstance first(folder, "parlox-test");
        int reopened = 0;
        QObject::connect(&first, &SingleInstance::reopenRequested, [&] { ++reopened; });
        ASSERT_TRUE(first.start());

        {
            SingleInstance second(folder, "parlox-test");
            EXPECT_FALSE(second.start());
        }
        EXPECT_TRUE(waitFor([&] { return reopened == 1; }));

        // Another name is another instance.
        SingleInstance other(folder, "parlox-other");
        EXPECT_TRUE(other.start());
    }
}

TEST(SingleInstance, StaleSocketOfADeadRunDoesNotBlockTheNext) {
    ui_test::application();
    parlox::testing::TemporaryFolder folder;
    folder.writeFile("parlox-test.socket", "left over");
    SingleInstance instance(folder.path(), "parlox-test");
    ASSERT_TRUE(instance.start());
    SingleInstance second(folder.path(), "parlox-test");
    EXPECT_FALSE(second.start(1.0));
}

// What a start cannot settle is said in the log: a lock it cannot open (it
// starts anyway), or a first instance that holds the lock but does not answer
// (it does not start).
TEST(SingleInstance, ALockItCannotOpenOrAFirstThatDoesNotAnswerIsLogged) {
    ui_test::application();
    struct Case {
        const char* name;
        bool starts;
        std::string logged;  // after the lock's path, where the line names it
    };
    const Case cases[] = {
        {"lock cannot be opened", true, "No puedo comprobar si Parlox ya está abierta: "},
        {"first does not answer", false, "Parlox ya está abierta, pero no contesta"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        parlox::testing::TemporaryFolder folder;
        const std::filesystem::path lock = folder / "parlox-test.lock";
        platform::UniqueFd held;
        if (c.starts) {
            // A link is never followed to the lock.
            std::filesystem::create_symlink(folder / "elsewhere", lock);
        } else {
            held.reset(::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
            ASSERT_TRUE(held && ::flock(held.get(), LOCK_EX | LOCK_NB) == 0);
        }
        std::vector<std::string> errors;
        platform::SystemLog::setSink(
            [&](platform::LogLevel level, const std::string&, const std::string&, const std::string& message) {
                if (level == platform::LogLevel::error) errors.push_back(message);
            });
        SingleInstance instance(folder.path(), "parlox-test");
        const bool started = instance.start(0.2);
        platform::SystemLog::setSink(nullptr);
        EXPECT_EQ(started, c.starts);
        const std::string expected = c.starts ? c.logged + lock.string() : c.logged;
        EXPECT_EQ(errors, std::vector<std::string>{expected});
    }
}

TEST(QtMainQueue, TheEventLoopRunsPostedAndDelayedWork) {
    ui_test::application();
    platform::MainQueue queue;
    QtMainQueue pump(queue);
    std::vector<std::string> order;
    queue.enqueueAfter(0.05, [&] { order.push_back("later"); });
    std::thread([&] { queue.enqueue([&] { order.push_back("posted"); }); }).join();
    auto cancelled = queue.enqueueAfter(0.02, [&] { order.push_back("cancelled"); });
    cancelled.cancel();
    EXPECT_TRUE(waitFor([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<std::string>{"posted", "later"}));
    EXPECT_TRUE(queue.isBoundThread());
}

}  // namespace
}  // namespace Parlox
