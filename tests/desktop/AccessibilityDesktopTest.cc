#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <QEventLoop>

#include <atomic>
#include <cstdio>
#include <future>
#include <optional>
#include <type_traits>
#include <string>
#include <thread>

#include "platform/accessibility/AtspiAccessibility.hpp"
#include "platform/desktop/X11Workspace.hpp"
#include "tests/desktop/DesktopSession.hpp"

using namespace platform;
using platform::accessibility::AtspiAccessibility;
using platform::accessibility::TextRange;
using platform::accessibility::TrustGap;
using platform::desktop::X11Workspace;
using parlox::testing::TextFieldProgram;
using Toolkit = TextFieldProgram::Toolkit;

namespace platform::accessibility {

void PrintTo(TrustGap gap, std::ostream* os) {
    switch (gap) {
        case TrustGap::none: *os << "none"; return;
        case TrustGap::noX11Session: *os << "noX11Session"; return;
        case TrustGap::noAccessibilityBus: *os << "noAccessibilityBus"; return;
        case TrustGap::assistiveTechnologiesOff: *os << "assistiveTechnologiesOff"; return;
        case TrustGap::noSyntheticKeys: *os << "noSyntheticKeys"; return;
        case TrustGap::noAnswer: *os << "noAnswer"; return;
    }
}

void PrintTo(FocusLookup::Miss miss, std::ostream* os) {
    switch (miss) {
        case FocusLookup::Miss::none: *os << "none"; return;
        case FocusLookup::Miss::unavailable: *os << "unavailable"; return;
        case FocusLookup::Miss::notListed: *os << "notListed"; return;
        case FocusLookup::Miss::nothingFocused: *os << "nothingFocused"; return;
        case FocusLookup::Miss::noAnswer: *os << "noAnswer"; return;
    }
}

}  // namespace platform::accessibility

namespace {

std::string toolkitName(const ::testing::TestParamInfo<Toolkit>& info) {
    return info.param == Toolkit::qt ? "Qt" : "Gtk";
}

// The field's start offset of "canción 👍" in "hola canción 👍" is 5 in both
// units; its length is 10 UTF-16 units but 9 code points (the emoji is two
// UTF-16 units): Qt counts the former, GTK the latter.
int selectionLengthInToolkitUnits(Toolkit toolkit) { return toolkit == Toolkit::qt ? 10 : 9; }

class FocusedField : public ::testing::TestWithParam<Toolkit> {};

TEST_P(FocusedField, ReportsApplicationSelectionAndCaretRectangleInUtf16Units) {
    const Toolkit toolkit = GetParam();
    TextFieldProgram field({toolkit, "", "hola canción 👍", 5, selectionLengthInToolkitUnits(toolkit)});
    X11Workspace workspace;
    AtspiAccessibility accessibility;

    const auto app = workspace.frontmostApplication();
    ASSERT_TRUE(app);
    EXPECT_EQ(app->processIdentifier, field.pid());
    EXPECT_EQ(app->localizedName, TextFieldProgram::defaultName(toolkit));
    EXPECT_FALSE(app->isTerminal);

    auto element = parlox::testing::focusedOverAccessibility(accessibility, field.pid());
    ASSERT_TRUE(element);
    EXPECT_EQ(element->role(), std::string(accessibility::roles::text));
    EXPECT_EQ(element->selectedText(), "canción 👍");
    EXPECT_EQ(element->selectedTextRange(), (TextRange{5, 10}));

    const auto bounds = element->boundsForRange(TextRange{5, 10});
    ASSERT_TRUE(bounds);
    EXPECT_GT(bounds->height, 0);
    EXPECT_GT(bounds->width, 0);
    const auto windows = workspace.windowList();
    const auto own = std::find_if(windows.begin(), windows.end(),
                                  [&](const desktop::WindowInfo& w) { return w.ownerProcessId == field.pid(); });
    ASSERT_NE(own, windows.end());
    EXPECT_EQ(own->layer, 0);
    // Qt reports text extents a few pixels up and left of where it draws them.
    EXPECT_TRUE(own->frame.grownBy(4).intersects(*bounds));
    EXPECT_GE(bounds->minX(), own->frame.minX() - 4);
    EXPECT_GE(bounds->minY(), own->frame.minY() - 4);
    EXPECT_LE(bounds->maxX(), own->frame.maxX());
    EXPECT_LE(bounds->maxY(), own->frame.maxY());
}

TEST_P(FocusedField, CaretWithoutSelectionIsAnEmptyRangeAndNoText) {
    const Toolkit toolkit = GetParam();
    // The caret after "hola " with nothing selected.
    TextFieldProgram field({toolkit, "", "hola mundo", 5, 0});
    AtspiAccessibility accessibility;
    auto element = parlox::testing::focusedOverAccessibility(accessibility, field.pid());
    ASSERT_TRUE(element);
    EXPECT_EQ(element->selectedText(), "");
    EXPECT_EQ(element->selectedTextRange(), (TextRange{5, 0}));
    // The character after the caret has bounds of its own.
    const auto next = element->boundsForRange(TextRange{5, 1});
    ASSERT_TRUE(next);
    EXPECT_GT(next->height, 0);
}

TEST_P(FocusedField, PasswordFieldIsSecureAndGivesNoText) {
    TextFieldProgram field({GetParam(), "", "secreto", 0, 7, /*password=*/true});
    AtspiAccessibility accessibility;
    auto element = parlox::testing::focusedOverAccessibility(accessibility, field.pid());
    ASSERT_TRUE(element);
    EXPECT_EQ(element->role(), std::string(accessibility::roles::passwordText));
    EXPECT_EQ(element->selectedText(), std::nullopt);
}

// The main thread runs the application's event loop, made the way the
// application makes it, while captures read from another thread: every read
// gets the program's answer, none gives up waiting for a reply the loop took.
TEST_P(FocusedField, ReadsFromAnotherThreadHoldWhileTheMainLoopRuns) {
    TextFieldProgram field({GetParam(), "", "hola mundo", 5, 5});
    AtspiAccessibility accessibility;
    ASSERT_TRUE(parlox::testing::focusedOverAccessibility(accessibility, field.pid()));
    constexpr int reads = 40;
    std::atomic<int> answered{0};
    QEventLoop loop;
    std::thread reader([&] {
        for (int i = 0; i < reads; ++i) {
            auto element = accessibility.focusedElement(field.pid());
            if (element && element->selectedText() == "mundo" && element->selectedTextRange() == (TextRange{5, 5}))
                ++answered;
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    reader.join();
    EXPECT_EQ(answered, reads);
}

INSTANTIATE_TEST_SUITE_P(Toolkits, FocusedField, ::testing::Values(Toolkit::qt, Toolkit::gtk), toolkitName);

TEST(Accessibility, NeverAsksThisProcessNorAnUnknownOne) {
    AtspiAccessibility accessibility;
    EXPECT_EQ(accessibility.focusedElement(static_cast<int32_t>(::getpid())), nullptr);
    EXPECT_EQ(accessibility.focusedElement(0), nullptr);
    EXPECT_EQ(accessibility.focusedElement(999999), nullptr);
}

TEST(Accessibility, TrustFollowsTheDesktopSwitch) {
    AtspiAccessibility accessibility;
    EXPECT_TRUE(accessibility.isProcessTrusted());
    EXPECT_EQ(accessibility.trustGap(), TrustGap::none);
    ASSERT_EQ(std::system("dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                          "org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled "
                          "variant:boolean:false >/dev/null"),
              0);
    // The bus applies the switch a moment later.
    EXPECT_TRUE(parlox::testing::eventually([&] { return !accessibility.isProcessTrusted(); }));
    EXPECT_EQ(accessibility.trustGap(), TrustGap::assistiveTechnologiesOff);
    accessibility.requestTrust();
    EXPECT_TRUE(parlox::testing::eventually([&] { return accessibility.isProcessTrusted(); }));
}

// The process that holds `name` on the session bus; 0 when none does.
pid_t ownerOnTheSessionBus(const std::string& name) {
    const std::string command = "dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus "
                                "/org/freedesktop/DBus org.freedesktop.DBus.GetConnectionUnixProcessID string:" +
                                name;
    FILE* out = ::popen(command.c_str(), "r");
    if (out == nullptr) return 0;
    unsigned pid = 0;
    if (std::fscanf(out, " uint32 %u", &pid) != 1) pid = 0;
    ::pclose(out);
    return static_cast<pid_t>(pid);
}

// A process held stopped while this lives: it answers nothing meanwhile.
class Stopped {
public:
    explicit Stopped(pid_t pid) : pid_(pid) { ::kill(pid_, SIGSTOP); }
    ~Stopped() { ::kill(pid_, SIGCONT); }
    Stopped(const Stopped&) = delete;
    Stopped& operator=(const Stopped&) = delete;

private:
    pid_t pid_;
};

// What `look` gives while the process `pid` is held stopped; none when it
// waited for it more than 30 s (it then ends once the process runs again).
template <typename Look>
std::optional<std::invoke_result_t<Look>> lookWhileStopped(pid_t pid, Look look) {
    std::future<std::invoke_result_t<Look>> answer;
    bool ended = false;
    {
        Stopped stopped(pid);
        answer = std::async(std::launch::async, look);
        ended = answer.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    }
    auto value = answer.get();
    if (!ended) return std::nullopt;
    return value;
}

class SlowBus : public ::testing::TestWithParam<const char*> {};

// A bus too busy to answer in time says nothing about the requirement: the
// look is unknown, not missing, and comes back. The accessibility bus's
// launcher answers whether its switch is on; the session bus whether the
// accessibility bus is there.
TEST_P(SlowBus, ALookLeftUnansweredIsUnknownNotMissing) {
    AtspiAccessibility accessibility;
    ASSERT_EQ(accessibility.trustGap(), TrustGap::none);
    const pid_t owner = ownerOnTheSessionBus(GetParam());
    ASSERT_GT(owner, 0);
    const auto gap = lookWhileStopped(owner, [&] { return accessibility.trustGap(); });
    EXPECT_EQ(gap, TrustGap::noAnswer) << "none: the look waited for the stopped bus";
    EXPECT_TRUE(parlox::testing::eventually([&] { return accessibility.trustGap() == TrustGap::none; },
                                            std::chrono::seconds(10)));
}

INSTANTIATE_TEST_SUITE_P(Owners, SlowBus, ::testing::Values("org.a11y.Bus", "org.freedesktop.DBus"),
                         [](const auto& info) {
                             return std::string(info.param) == "org.a11y.Bus" ? "AccessibilityBusLauncher"
                                                                              : "SessionBus";
                         });

// The accessibility client, made at the first look at a focus, is not given
// up for good when the session bus leaves that look unanswered.
TEST(Accessibility, AFocusLookTheSessionBusLeavesUnansweredIsTriedAgain) {
    using Miss = accessibility::FocusLookup::Miss;
    constexpr int32_t nobody = 999999;
    AtspiAccessibility accessibility;
    ASSERT_EQ(accessibility.trustGap(), TrustGap::none);
    const pid_t bus = ownerOnTheSessionBus("org.freedesktop.DBus");
    ASSERT_GT(bus, 0);
    const auto miss = lookWhileStopped(bus, [&] { return accessibility.lookUpFocus(nobody).miss; });
    ASSERT_TRUE(miss) << "the look waited for the stopped bus";
    EXPECT_NE(*miss, Miss::unavailable);
    EXPECT_EQ(accessibility.lookUpFocus(nobody).miss, Miss::notListed);
}

TEST(Workspace, ActivatesTheOtherProgramAndListsTheScreen) {
    TextFieldProgram qt({Toolkit::qt, "", "uno"});
    TextFieldProgram gtk({Toolkit::gtk, "", "dos"});
    X11Workspace workspace;
    ASSERT_TRUE(workspace.frontmostApplication());
    const int front = workspace.frontmostApplication()->processIdentifier;
    const int other = front == qt.pid() ? gtk.pid() : qt.pid();
    ASSERT_TRUE(workspace.activate(other));
    EXPECT_TRUE(parlox::testing::eventually([&] {
        const auto app = workspace.frontmostApplication();
        return app && app->processIdentifier == other;
    }));
    EXPECT_EQ(workspace.frontmostProcessId(), other);
    EXPECT_EQ(workspace.runningApplication(qt.pid())->localizedName, "campo-qt");
    EXPECT_EQ(workspace.runningApplication(999999), std::nullopt);
    EXPECT_FALSE(workspace.activate(999999));
    EXPECT_EQ(workspace.screenFrames(), (std::vector<Rect>{{0, 0, 1280, 800}}));
    EXPECT_EQ(workspace.currentProcessId(), static_cast<int32_t>(::getpid()));
}

}  // namespace
