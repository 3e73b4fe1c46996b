#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>

#include "platform/concurrency/MainQueue.hpp"
#include "platform/desktop/DBusNotifier.hpp"
#include "platform/desktop/DBusPowerAssertion.hpp"
#include "platform/desktop/DesktopError.hpp"
#include "platform/input/XTestKeySynth.hpp"
#include "tests/desktop/DesktopSession.hpp"

using namespace platform;
using platform::desktop::DBusNotifier;
using platform::desktop::DBusPowerAssertion;
using platform::desktop::DesktopError;
using parlox::testing::DesktopServices;
using parlox::testing::eventually;

namespace {

// Runs Qt's event loop (which brings the D-Bus signals in) and the main
// queue until `done` holds.
template <typename Done>
bool pumpUntil(Done done) {
    return eventually([&] {
        QCoreApplication::processEvents();
        MainQueue::shared().runPending();
        return done();
    });
}

// The user clicks notice `number` on the stand-in notification server.
void clickNotice(unsigned number) {
    const std::string command = "dbus-send --session --type=method_call --dest=org.parlox.Test / "
                                "org.parlox.Test.Click uint32:" + std::to_string(number);
    ASSERT_EQ(std::system(command.c_str()), 0);
}

TEST(KeepAwake, InhibitsTheScreenSaverAndReleasesTheSameCookie) {
    DesktopServices services;
    DBusPowerAssertion power;
    const uint32_t first = power.preventDisplaySleep("Parlox: mantener el equipo despierto");
    const uint32_t second = power.preventDisplaySleep("otra");
    EXPECT_NE(first, second);
    power.release(first);
    power.release(first);  // released once only
    EXPECT_EQ(services.calls(),
              (std::vector<std::string>{R"(["Inhibit", "Parlox", "Parlox: mantener el equipo despierto", 41])",
                                        R"(["Inhibit", "Parlox", "otra", 42])", R"(["UnInhibit", 41])"}));
}

// How many idle locks the stand-in login manager handed out are still open.
unsigned inhibitorsHeld() {
    const QDBusReply<uint> reply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall("org.parlox.Test", "/", "org.parlox.Test", "InhibitorsHeld"));
    return reply.isValid() ? reply.value() : 1000;
}

// A program this process starts and that outlives the keep-awake request
// (a writing tool, the clipboard helper) must not keep the idle lock.
TEST(KeepAwake, TheIdleLockEndsWithTheReleaseWhileAChildProgramRuns) {
    DesktopServices services;
    // The stand-in login manager sits on the session bus.
    DBusPowerAssertion power(std::getenv("DBUS_SESSION_BUS_ADDRESS"));
    const uint32_t assertion = power.preventDisplaySleep("Parlox: mantener el Mac despierto");
    EXPECT_EQ(inhibitorsHeld(), 1u);

    pid_t child = 0;
    char sleepPath[] = "/bin/sleep", seconds[] = "30";
    char* argv[] = {sleepPath, seconds, nullptr};
    ASSERT_EQ(::posix_spawn(&child, sleepPath, nullptr, nullptr, argv, environ), 0);
    power.release(assertion);
    EXPECT_TRUE(eventually([] { return inhibitorsHeld() == 0; }));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(services.calls(),
              (std::vector<std::string>{
                  R"(["Inhibit", "Parlox", "Parlox: mantener el Mac despierto", 41])",
                  R"(["Inhibit", "idle", "Parlox", "Parlox: mantener el Mac despierto", "block"])",
                  R"(["UnInhibit", 41])"}));
}

TEST(KeepAwake, RefusedWithoutAnyInhibitService) {
    DBusPowerAssertion power;
    try {
        power.preventDisplaySleep("x");
        FAIL() << "no service should accept";
    } catch (const DesktopError& e) {
        EXPECT_EQ(e.kind(), DesktopError::Kind::refused);
    }
}

TEST(KeepAwake, IdleTimeGrowsAndTheNudgeResetsIt) {
    DBusPowerAssertion power;
    input::XTestKeySynth keys;
    keys.nudgePointer();
    ASSERT_TRUE(eventually([&] { return power.idleSeconds() >= 1.0; }));
    const auto start = std::chrono::steady_clock::now();
    keys.nudgePointer();
    const double idle = power.idleSeconds();
    const double since = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // No longer than since the nudge, however late the look: a nudge that did
    // nothing would leave a second more.
    EXPECT_LE(idle, since + 0.05);
}

TEST(Notices, PostReplaceRemoveAndClickReachTheHandler) {
    DesktopServices services;
    DBusNotifier notifier;
    std::optional<bool> granted;
    notifier.requestAuthorization([&](bool g) { granted = g; });
    EXPECT_EQ(granted, true);

    std::vector<std::string> clicked;
    notifier.setResponseHandler([&](const std::string& id) {
        EXPECT_TRUE(MainQueue::isMainThread());
        clicked.push_back(id);
    });
    notifier.post({"qz.tamo.Parlox.update", "Hay una versión nueva de Parlox", "La 2.0 está lista."});
    notifier.post({"qz.tamo.Parlox.update", "Hay una versión nueva de Parlox", "La 2.1 está lista."});
    notifier.post({"otro", "Otro", "cuerpo"});
    clickNotice(1);
    EXPECT_TRUE(pumpUntil([&] { return !clicked.empty(); }));
    EXPECT_EQ(clicked, (std::vector<std::string>{"qz.tamo.Parlox.update"}));
    notifier.removeDelivered("qz.tamo.Parlox.update");
    notifier.removeDelivered("qz.tamo.Parlox.update");  // nothing left to take away

    EXPECT_EQ(services.calls(),
              (std::vector<std::string>{
                  R"(["Notify", "Parlox", 0, "Hay una versión nueva de Parlox", "La 2.0 está lista.", ["default", "Abrir"], 1])",
                  R"(["Notify", "Parlox", 1, "Hay una versión nueva de Parlox", "La 2.1 está lista.", ["default", "Abrir"], 1])",
                  R"(["Notify", "Parlox", 0, "Otro", "cuerpo", ["default", "Abrir"], 2])",
                  R"(["CloseNotification", 1])"}));
}

// The notifier is made at launch; the desktop's notification server may
// start only later (on the first notice) or be replaced by another.
TEST(Notices, AClickReachesTheHandlerFromAServerThatStartedAfterTheNotifier) {
    DBusNotifier notifier;
    std::vector<std::string> clicked;
    notifier.setResponseHandler([&](const std::string& id) { clicked.push_back(id); });
    DesktopServices services;
    notifier.post({"qz.tamo.Parlox.update", "Hay una versión nueva de Parlox", "La 2.0 está lista."});
    // The bus tells our connection about the new server a moment after it
    // starts; a click in between is not seen, so the user clicks again.
    int polls = 0;
    EXPECT_TRUE(pumpUntil([&] {
        if (!clicked.empty()) return true;
        if (polls++ % 25 == 0) clickNotice(1);
        return false;
    }));
    ASSERT_FALSE(clicked.empty());
    for (const std::string& id : clicked) EXPECT_EQ(id, "qz.tamo.Parlox.update");
}

TEST(Notices, NotAuthorisedWithoutANotificationServer) {
    DBusNotifier notifier;
    std::optional<bool> granted;
    notifier.requestAuthorization([&](bool g) { granted = g; });
    EXPECT_EQ(granted, false);
}

}  // namespace
