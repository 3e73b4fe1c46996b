#include <gtest/gtest.h>

#include <QImage>

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <utility>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

// After Qt: Xlib defines macros (Status, None…) that Qt's headers also use.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "app/Audio/AudioRecorder.hpp"
#include "app/Context/ContextCapture.hpp"
#include "app/Context/ScreenContext.hpp"
#include "app/Insertion/TextInserter.hpp"
#include "app/Insertion/TextReplacement.hpp"
#include "app/Support/ScreenContextConsent.hpp"
#include "app/Support/X11DesktopServices.hpp"
#include "platform/accessibility/AtspiAccessibility.hpp"
#include "platform/audio/AudioSystem.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "platform/concurrency/Scheduler.hpp"
#include "platform/desktop/ClipboardOwnerProcess.hpp"
#include "platform/desktop/X11WindowScreenshot.hpp"
#include "platform/desktop/X11Workspace.hpp"
#include "platform/log/SystemLog.hpp"
#include "tests/desktop/DesktopSession.hpp"
#include "tests/desktop/InsertionOutcomePrinting.hpp"
#include "tests/desktop/TakenAtTheGiveBack.hpp"
#include "tests/support/StandardDefaults.hpp"

using namespace platform;
using Parlox::CapturedContext;
using Parlox::ContextCapture;
using Parlox::TextInserter;
using Outcome = TextInserter::Outcome;
using platform::accessibility::TextRange;
using parlox::testing::eventually;
using parlox::testing::LogLines;
using parlox::testing::TextFieldProgram;
using Toolkit = TextFieldProgram::Toolkit;

namespace {

// Holds a key down on the test display, as a user would, until destroyed.
class HeldKey {
public:
    explicit HeldKey(KeySym key) : display_(XOpenDisplay(nullptr)), code_(XKeysymToKeycode(display_, key)) {
        XTestFakeKeyEvent(display_, code_, True, CurrentTime);
        XSync(display_, False);
    }
    ~HeldKey() {
        XTestFakeKeyEvent(display_, code_, False, CurrentTime);
        XCloseDisplay(display_);
    }

private:
    Display* display_;
    KeyCode code_;
};

// A hot key held down, as the user holds it for a moment: a client's grab
// of the key (here the test's own) takes the keyboard focus from the
// program's window until the key is let go.
class HotKeyHeld {
public:
    explicit HotKeyHeld(KeySym key) : display_(XOpenDisplay(nullptr)), code_(XKeysymToKeycode(display_, key)) {
        XGrabKey(display_, code_, AnyModifier, DefaultRootWindow(display_), False, GrabModeAsync, GrabModeAsync);
        XSync(display_, False);
        XTestFakeKeyEvent(display_, code_, True, CurrentTime);
        XSync(display_, False);
    }
    ~HotKeyHeld() {
        letGo();
        XUngrabKey(display_, code_, AnyModifier, DefaultRootWindow(display_));
        XCloseDisplay(display_);
    }
    void letGo() {
        if (!down_) return;
        down_ = false;
        XTestFakeKeyEvent(display_, code_, False, CurrentTime);
        XSync(display_, False);
    }

private:
    Display* display_;
    KeyCode code_;
    bool down_ = true;
};

// Whether the program's field shows as focused over accessibility.
bool fieldFocused(const TextFieldProgram& field) {
    return accessibility::AtspiAccessibility().focusedElement(field.pid()) != nullptr;
}

// Parlox's scheduler, with a hand on its waits: what is given to
// atTheNextWait() runs in the next sleep Parlox makes, so at a moment when
// it has shown it is waiting, however late this test, Parlox or the
// program run. A user's key let go at a fixed time could come after Parlox
// gave up on a loaded machine.
class WaitWatcher final : public platform::Scheduler {
public:
    explicit WaitWatcher(std::shared_ptr<platform::Scheduler> inner) : inner_(std::move(inner)) {}

    void atTheNextWait(std::function<void()> then) {
        std::lock_guard lock(mutex_);
        then_ = std::move(then);
    }

    void post(Work work) override { inner_->post(std::move(work)); }
    platform::TimerHandle after(double seconds, Work work) override { return inner_->after(seconds, std::move(work)); }
    platform::TimerHandle every(double seconds, Work work) override { return inner_->every(seconds, std::move(work)); }
    void background(Work job) override { inner_->background(std::move(job)); }
    bool sleep(double seconds, std::stop_token stop = {}) override {
        std::function<void()> then;
        {
            std::lock_guard lock(mutex_);
            then = std::exchange(then_, nullptr);
        }
        if (then) then();
        return inner_->sleep(seconds, stop);
    }
    Date now() override { return inner_->now(); }
    MonotonicClock::time_point uptime() override { return inner_->uptime(); }

private:
    std::shared_ptr<platform::Scheduler> inner_;
    std::mutex mutex_;
    std::function<void()> then_;
};

// Watches the waits of `desktop`'s steps.
std::shared_ptr<WaitWatcher> watchWaits(Parlox::DesktopServices& desktop) {
    auto waits = std::make_shared<WaitWatcher>(desktop.scheduler);
    desktop.scheduler = waits;
    return waits;
}

// The user lets go of `key` while Parlox waits, after a look that found it
// down or the focus away. Given the program's `field`, once the key's grab
// has taken its focus, and Parlox looks again only when the focus is back.
void letGoAtTheNextWait(WaitWatcher& waits, HotKeyHeld& key, const TextFieldProgram* field = nullptr) {
    waits.atTheNextWait([&key, field] {
        if (!field) return key.letGo();
        EXPECT_TRUE(eventually([&] { return !fieldFocused(*field); })) << "the grab did not take the focus";
        key.letGo();
        EXPECT_TRUE(eventually([&] { return fieldFocused(*field); })) << "the focus did not come back";
    });
}

// The user's clipboard, owned by another program: a text and an HTML form.
std::unique_ptr<desktop::ClipboardOwnerProcess> userClipboard(const std::string& text) {
    auto forms = desktop::textForms(text);
    const std::string html = "<b>" + text + "</b>";
    forms.push_back({"text/html", "text/html", 8, {html.begin(), html.end()}});
    return desktop::ClipboardOwnerProcess::start(forms);
}

std::optional<std::string> html(desktop::Pasteboard& pasteboard) {
    for (const auto& item : pasteboard.items())
        for (const auto& [type, data] : item.representations)
            if (type == "text/html") return data;
    return std::nullopt;
}

std::string toolkitName(const ::testing::TestParamInfo<Toolkit>& info) {
    return info.param == Toolkit::qt ? "Qt" : "Gtk";
}

class DictationRoad : public ::testing::TestWithParam<Toolkit> {
protected:
    Parlox::DesktopServices desktop = Parlox::x11DesktopServices();
};

TEST_P(DictationRoad, CaptureReadsApplicationSelectionAndCaretInUtf16Units) {
    const Toolkit toolkit = GetParam();
    // "canción 👍": 10 UTF-16 units (Qt's count), 9 code points (GTK's).
    TextFieldProgram field({toolkit, "", "hola canción 👍", 5, toolkit == Toolkit::qt ? 10 : 9});
    const CapturedContext context = ContextCapture::capture(desktop);
    EXPECT_EQ(context.appName, TextFieldProgram::defaultName(toolkit));
    EXPECT_EQ(context.pid, field.pid());
    EXPECT_FALSE(context.isSecure);
    EXPECT_EQ(context.method.rawValue(), "Accesibilidad");
    EXPECT_EQ(context.selectedText, "canción 👍");
    EXPECT_EQ(context.selectedRange, (TextRange{5, 10}));
    ASSERT_TRUE(context.caretRect);
    const auto windows = desktop.workspace->windowList();
    const auto own = std::find_if(windows.begin(), windows.end(),
                                  [&](const desktop::WindowInfo& w) { return w.ownerProcessId == field.pid(); });
    ASSERT_NE(own, windows.end());
    // Qt places text extents a few pixels up and left of the drawn text.
    EXPECT_GE(context.caretRect->minX(), own->frame.minX() - 4);
    EXPECT_GE(context.caretRect->minY(), own->frame.minY() - 4);
    EXPECT_LE(context.caretRect->maxX(), own->frame.maxX());
    EXPECT_LE(context.caretRect->maxY(), own->frame.maxY());
    EXPECT_GT(context.caretRect->width, 1);
}

TEST_P(DictationRoad, PasswordFieldIsSecureAndNothingIsRead) {
    TextFieldProgram field({GetParam(), "", "secreto", 0, 7, /*password=*/true});
    auto user = userClipboard("texto del usuario");
    const CapturedContext context = ContextCapture::capture(desktop);
    EXPECT_TRUE(context.isSecure);
    EXPECT_EQ(context.selectedText, "");
    EXPECT_EQ(context.selectedRange, std::nullopt);
    EXPECT_EQ(context.caretRect, std::nullopt);
    EXPECT_EQ(context.method.rawValue(), "Accesibilidad");
    // No copy was tried: the user's clipboard never changed hands.
    EXPECT_TRUE(user->stillOwner());
}

TEST_P(DictationRoad, InsertionReplacesSelectionLeavesItSelectedAndGivesTheClipboardBack) {
    TextFieldProgram field({GetParam(), "", "hola mundo", 5, 5});
    auto user = userClipboard("texto del usuario");
    const CapturedContext context = ContextCapture::capture(desktop);
    ASSERT_EQ(context.selectedText, "mundo");
    HeldKey alt(XK_Alt_L);  // still down from the dictation shortcut
    EXPECT_EQ(TextInserter::insert("planeta", context, desktop), Outcome::inserted(5, true));
    EXPECT_TRUE(field.waitForField("hola planeta", "planeta"));
    EXPECT_EQ(desktop.pasteboard->string(), "texto del usuario");
    EXPECT_EQ(html(*desktop.pasteboard), "<b>texto del usuario</b>");
}

TEST_P(DictationRoad, AClipboardTheUserChangedDuringTheInsertionIsLeftAlone) {
    TextFieldProgram field({GetParam(), "", "hola mundo", 5, 5});
    auto user = userClipboard("texto del usuario");
    const CapturedContext context = ContextCapture::capture(desktop);
    // The user copies something else as soon as the answer shows up, while
    // Parlox waits for the program to take it.
    const auto waits = watchWaits(desktop);
    std::unique_ptr<desktop::ClipboardOwnerProcess> later;
    waits->atTheNextWait([&] {
        if (field.waitForField("hola planeta", "")) later = userClipboard("copiado después");
    });
    const Outcome outcome = TextInserter::insert("planeta", context, desktop);
    ASSERT_TRUE(later);
    EXPECT_EQ(outcome, Outcome::inserted(5, true));
    EXPECT_EQ(desktop.pasteboard->string(), "copiado después");
}

// The same copy, made at the worst moment: Parlox has found the clipboard
// still holding the answer, and the helper that gives the user's contents
// back is starting up. The copy stays, and no failure is logged.
TEST_P(DictationRoad, ACopyMadeWhileTheClipboardIsGivenBackIsLeftAlone) {
    TextFieldProgram field({GetParam(), "", "hola mundo", 5, 5});
    auto user = userClipboard("texto del usuario");
    const CapturedContext context = ContextCapture::capture(desktop);
    std::mutex logged;
    std::vector<std::string> clipboardErrors;
    platform::SystemLog::setSink([&](platform::LogLevel level, const std::string&, const std::string&,
                                     const std::string& message) {
        const bool aboutTheClipboard =
            message.find("portapapeles") != std::string::npos || message.find("CLIPBOARD") != std::string::npos;
        std::lock_guard lock(logged);
        if (level >= platform::LogLevel::error && aboutTheClipboard) clipboardErrors.push_back(message);
    });
    const Outcome outcome = [&] {
        const parlox::testing::TakenAtTheGiveBack copiedMeanwhile("copiado después");
        const Outcome inserted = TextInserter::insert("planeta", context, desktop);
        EXPECT_TRUE(copiedMeanwhile.took());
        EXPECT_EQ(desktop.pasteboard->string(), "copiado después");
        return inserted;
    }();
    platform::SystemLog::setSink(nullptr);
    EXPECT_EQ(outcome, Outcome::inserted(5, true));
    EXPECT_TRUE(field.waitForField("hola planeta", "planeta"))
        << "the field holds \"" << field.field().first << "\" with \"" << field.field().second << "\" selected";
    EXPECT_EQ(clipboardErrors, std::vector<std::string>{});
}

TEST_P(DictationRoad, AFieldThatCannotBeWrittenGetsTheAnswerCopied) {
    TextFieldProgram field({GetParam(), "", "hola mundo", 5, 5, false, /*readOnly=*/true});
    const CapturedContext context = ContextCapture::capture(desktop);
    EXPECT_EQ(TextInserter::insert("planeta", context, desktop), Outcome::copied(TextInserter::notPastedMessage));
    EXPECT_EQ(field.field().first, "hola mundo");
    EXPECT_EQ(desktop.pasteboard->string(), "planeta");
}

// The accessibility library keeps for good what it set up for each call
// that timed out; the leak checker is told not to count it.
class TimedOutCallsKeptByTheLibrary {
public:
#if defined(__SANITIZE_ADDRESS__)
    TimedOutCallsKeptByTheLibrary() { __lsan_disable(); }
    ~TimedOutCallsKeptByTheLibrary() { __lsan_enable(); }
#endif
};

// A program that hangs between the capture and the insertion cannot be told
// from one that lost the paste: the answer must stay on the clipboard.
TEST(DictationRoadHungTarget, TheAnswerIsCopiedWhenTheFieldStopsAnswering) {
    Parlox::DesktopServices desktop = Parlox::x11DesktopServices();
    TextFieldProgram field({Toolkit::gtk, "", "hola mundo", 5, 5});
    const CapturedContext context = ContextCapture::capture(desktop);
    ASSERT_EQ(context.selectedText, "mundo");
    ASSERT_EQ(::kill(field.pid(), SIGSTOP), 0);
    const Outcome outcome = [&] {
        [[maybe_unused]] const TimedOutCallsKeptByTheLibrary kept;
        return TextInserter::insert("planeta", context, desktop);
    }();
    ::kill(field.pid(), SIGCONT);
    EXPECT_EQ(outcome, Outcome::copied(TextInserter::notPastedMessage));
    EXPECT_EQ(desktop.pasteboard->string(), "planeta");
}

// The hot key is still down when the capture reads the program, which then
// shows no focus: the capture waits for it rather than take the copy key.
TEST(DictationRoadHotKeyHeld, CaptureWaitsForTheFocusToComeBack) {
    Parlox::DesktopServices desktop = Parlox::x11DesktopServices();
    const auto waits = watchWaits(desktop);
    TextFieldProgram field({Toolkit::gtk, "", "hola mundo", 5, 5});
    HotKeyHeld hotKey(XK_F9);
    ASSERT_TRUE(eventually([&] { return !fieldFocused(field); })) << "the grab did not take the focus";
    letGoAtTheNextWait(*waits, hotKey, &field);
    const CapturedContext context = ContextCapture::capture(desktop);
    EXPECT_EQ(context.method.rawValue(), "Accesibilidad") << context.roadNote;
    EXPECT_EQ(context.selectedText, "mundo");
    EXPECT_EQ(context.selectedRange, (TextRange{5, 5}));
    EXPECT_TRUE(context.caretRect);
}

// Escape is still down when the undo checks where the focus is.
TEST(DictationRoadHotKeyHeld, UndoWaitsForTheFocusToComeBack) {
    Parlox::DesktopServices desktop = Parlox::x11DesktopServices();
    TextFieldProgram field({Toolkit::gtk, "", "hola mundo", 5, 5});
    const CapturedContext context = ContextCapture::capture(desktop);
    ASSERT_EQ(TextInserter::insert("planeta", context, desktop), Outcome::inserted(5, true));
    ASSERT_TRUE(field.waitForField("hola planeta", "planeta"));
    HotKeyHeld escape(XK_Escape);
    ASSERT_TRUE(eventually([&] { return !fieldFocused(field); })) << "the grab did not take the focus";
    const auto waits = watchWaits(desktop);
    letGoAtTheNextWait(*waits, escape, &field);
    const auto outcome = Parlox::TextReplacement::replace(
        desktop, {*context.pid, context.element, 5, "planeta"}, "mundo", /*undoKeyAllowed=*/false);
    EXPECT_EQ(outcome, Parlox::TextReplacement::Outcome::replaced());
    EXPECT_TRUE(field.waitForField("hola mundo", "mundo")) << field.field().first;
}

// The user moved to another field of the same program before Escape. The
// result is still there and can be selected over accessibility, but keys go
// to the focused field: nothing is sent, the other field keeps its text.
TEST(DictationRoadUndo, AnotherFieldOfTheSameProgramIsLeftAlone) {
    Parlox::DesktopServices desktop = Parlox::x11DesktopServices();
    TextFieldProgram::Options options{Toolkit::gtk, "", "hola mundo", 5, 5};
    options.second = "nota aparte";
    TextFieldProgram field(options);
    const CapturedContext context = ContextCapture::capture(desktop);
    ASSERT_EQ(context.selectedText, "mundo");
    ASSERT_EQ(TextInserter::insert("planeta", context, desktop), Outcome::inserted(5, true));
    ASSERT_TRUE(field.waitForField("hola planeta", "planeta"));
    // Tab moves the focus to the second field, which selects all it holds.
    ASSERT_EQ(std::system("xdotool key Tab"), 0);
    ASSERT_TRUE(eventually([&] { return field.secondField().second == "nota aparte"; }))
        << field.secondField().first << " | " << field.secondField().second;

    const auto outcome = Parlox::TextReplacement::replace(
        desktop, {*context.pid, context.element, 5, "planeta"}, "mundo", /*undoKeyAllowed=*/true);
    EXPECT_EQ(outcome, Parlox::TextReplacement::Outcome::failed(Parlox::TextReplacement::otherField));
    // A paste would have landed within the replacement's own hold of the clipboard.
    EXPECT_EQ(field.secondField().first, "nota aparte");
    EXPECT_EQ(field.field().first, "hola planeta");
}

INSTANTIATE_TEST_SUITE_P(Toolkits, DictationRoad, ::testing::Values(Toolkit::qt, Toolkit::gtk), toolkitName);

// Escape goes down as the paste key is about to go out, at the point of no
// return, and comes up once Parlox waits for it; while it is down its grab (here the
// test's own, as Parlox's would) takes every key. The paste waits for it,
// and so does the undo that follows with Escape down again: nothing of the
// user's is lost, and the log says what waited. In a field read back over
// accessibility (GTK) and in one that cannot be (a Qt field, as the copy
// road leaves it: no element, no range; a GTK field has no undo key).
struct EscapeHeldField {
    const char* name;
    Toolkit toolkit;
    bool readBack;
};

void PrintTo(const EscapeHeldField& field, std::ostream* os) { *os << field.name; }

class DictationRoadEscapeHeld : public ::testing::TestWithParam<EscapeHeldField> {};

TEST_P(DictationRoadEscapeHeld, TheKeysWaitForEscapeToBeLetGoAndNothingIsLost) {
    const EscapeHeldField& kind = GetParam();
    Parlox::DesktopServices desktop = Parlox::x11DesktopServices();
    desktop.shortcutKeys = {53};  // Escape
    const auto waits = watchWaits(desktop);
    TextFieldProgram field({kind.toolkit, "", "hola mundo", 5, 5});
    auto user = userClipboard("texto del usuario");
    CapturedContext context = ContextCapture::capture(desktop);
    ASSERT_EQ(context.selectedText, "mundo");
    if (!kind.readBack) {
        context.element = nullptr;
        context.selectedRange.reset();
        context.method = CapturedContext::Method::clipboard;
    }
    const auto waitedBefore = [](const LogLines& log, const std::string& action) {
        const std::string end = " s a que se soltara Esc o el atajo antes de " + action;
        const auto lines = log.lines();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind("Esperado ", 0) == 0 && line.size() > end.size() &&
                   line.compare(line.size() - end.size(), end.size(), end) == 0;
        });
    };

    {
        LogLines log;
        std::unique_ptr<HotKeyHeld> escape;
        Parlox::PointOfNoReturn point([&] {
            escape = std::make_unique<HotKeyHeld>(XK_Escape);
            letGoAtTheNextWait(*waits, *escape, kind.readBack ? &field : nullptr);
        });
        const Outcome outcome = TextInserter::insert("planeta", context, desktop, &point);
        ASSERT_TRUE(escape) << "the point of no return was never passed";
        EXPECT_EQ(outcome, kind.readBack ? Outcome::inserted(5, true) : Outcome::inserted(std::nullopt, false));
        EXPECT_TRUE(field.waitForField("hola planeta", kind.readBack ? "planeta" : ""))
            << field.field().first << " | " << field.field().second;
        EXPECT_TRUE(eventually([&] { return desktop.pasteboard->string() == std::optional<std::string>("texto del usuario"); }))
            << desktop.pasteboard->string().value_or("(nothing)");
        EXPECT_EQ(html(*desktop.pasteboard), "<b>texto del usuario</b>");
        EXPECT_TRUE(waitedBefore(log, "pegar"));
    }

    // Escape again, for the undo: still down as its key goes.
    LogLines log;
    HotKeyHeld escape(XK_Escape);
    letGoAtTheNextWait(*waits, escape, kind.readBack ? &field : nullptr);
    const auto outcome = Parlox::TextReplacement::replace(
        desktop, {*context.pid, context.element, context.selectedRange ? std::optional<int64_t>(5) : std::nullopt,
                  "planeta"},
        "mundo", /*undoKeyAllowed=*/true);
    EXPECT_EQ(outcome, kind.readBack ? Parlox::TextReplacement::Outcome::replaced()
                                     : Parlox::TextReplacement::Outcome::commandZ());
    EXPECT_TRUE(eventually([&] { return field.field().first == "hola mundo"; })) << field.field().first;
    EXPECT_TRUE(eventually([&] { return desktop.pasteboard->string() == std::optional<std::string>("texto del usuario"); }))
        << desktop.pasteboard->string().value_or("(nothing)");
    // The read-back road waits for the focus Escape's grab took, which comes back with the key.
    if (!kind.readBack) {
        EXPECT_TRUE(waitedBefore(log, "deshacer"));
    }
}

INSTANTIATE_TEST_SUITE_P(Fields, DictationRoadEscapeHeld,
                         ::testing::Values(EscapeHeldField{"ReadBack", Toolkit::gtk, true},
                                           EscapeHeldField{"NotReadBack", Toolkit::qt, false}),
                         [](const ::testing::TestParamInfo<EscapeHeldField>& info) {
                             return std::string(info.param.name);
                         });

// A program busy when the paste key comes asks for the clipboard late: it
// must still get the answer, and the user's clipboard comes back after.
TEST(DictationRoadBusyTarget, AProgramThatAsksForTheClipboardLateStillPastesTheAnswer) {
    Parlox::DesktopServices desktop = Parlox::x11DesktopServices();
    TextFieldProgram::Options options{Toolkit::gtk, "", "hola mundo", 5, 5};
    options.pasteDelayMs = 1000;  // busy for a second after the paste key
    TextFieldProgram field(options);
    auto user = userClipboard("texto del usuario");
    const CapturedContext context = ContextCapture::capture(desktop);
    ASSERT_EQ(context.selectedText, "mundo");
    EXPECT_EQ(TextInserter::insert("planeta", context, desktop), Outcome::inserted(5, true));
    EXPECT_TRUE(field.waitForField("hola planeta", "planeta")) << field.field().first;
    EXPECT_EQ(desktop.pasteboard->string(), "texto del usuario");
    EXPECT_EQ(html(*desktop.pasteboard), "<b>texto del usuario</b>");
}

// The clipboard helper cannot start: nothing is pasted, the user's
// clipboard is kept, and the answer is reported as not copied.
class BrokenClipboardHelper {
public:
    BrokenClipboardHelper() { ::setenv("PARLOX_CLIPBOARD_OWNER", "/nonexistent/parlox-clipboard-owner", 1); }
    ~BrokenClipboardHelper() { ::unsetenv("PARLOX_CLIPBOARD_OWNER"); }
};

TEST(DictationRoadClipboard, AClipboardThatCannotBeWrittenKeepsTheUsersContentsAndSaysSo) {
    Parlox::DesktopServices desktop = Parlox::x11DesktopServices();
    TextFieldProgram field({Toolkit::gtk, "", "hola mundo", 5, 5});
    auto user = userClipboard("texto del usuario");
    CapturedContext context = ContextCapture::capture(desktop);
    ASSERT_EQ(context.selectedText, "mundo");
    const BrokenClipboardHelper broken;
    for (const bool switchedApp : {false, true}) {
        SCOPED_TRACE(switchedApp ? "copied instead of pasted" : "pasted");
        if (switchedApp) context.pid = field.pid() + 100000;
        const Outcome outcome = TextInserter::insert("planeta", context, desktop);
        EXPECT_NE(outcome.kind, Outcome::Kind::inserted);
        EXPECT_EQ(outcome.message, "No se pudo copiar al portapapeles");
        EXPECT_EQ(desktop.pasteboard->string(), "texto del usuario");
        EXPECT_EQ(html(*desktop.pasteboard), "<b>texto del usuario</b>");
        EXPECT_TRUE(user->stillOwner());
        EXPECT_EQ(field.field(), std::make_pair(std::string("hola mundo"), std::string("mundo")));
    }
}

// Multi-line fields: line breaks and a character beyond the Basic
// Multilingual Plane on an earlier line shift the offsets differently in
// each toolkit, and the answer itself spans lines.
struct MultiLineField {
    const char* name;
    Toolkit toolkit;
    TextFieldProgram::Widget widget;
    int start;  // "mundo" in "uno 😀\ndos mundo\ntres", in the toolkit's units
};

void PrintTo(const MultiLineField& field, std::ostream* os) { *os << field.name; }

class DictationRoadMultiLine : public ::testing::TestWithParam<MultiLineField> {
protected:
    Parlox::DesktopServices desktop = Parlox::x11DesktopServices();
};

TEST_P(DictationRoadMultiLine, ReplacesTheSelectionWithLinesAndLeavesThemSelected) {
    const MultiLineField& kind = GetParam();
    TextFieldProgram::Options options{kind.toolkit, "", "uno 😀\ndos mundo\ntres", kind.start, 5};
    options.widget = kind.widget;
    TextFieldProgram field(options);
    auto user = userClipboard("texto del usuario");
    const CapturedContext context = ContextCapture::capture(desktop);
    EXPECT_EQ(context.selectedText, "mundo");
    EXPECT_EQ(context.selectedRange, (TextRange{11, 5}));
    EXPECT_TRUE(context.caretRect);
    const std::string answer = "línea uno\nlínea dos 👍";
    EXPECT_EQ(TextInserter::insert(answer, context, desktop), Outcome::inserted(11, true));
    EXPECT_TRUE(field.waitForField("uno 😀\ndos " + answer + "\ntres", answer))
        << field.field().first << " | " << field.field().second;
    EXPECT_EQ(desktop.pasteboard->string(), "texto del usuario");
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DictationRoadMultiLine,
    ::testing::Values(MultiLineField{"QtRichText", Toolkit::qt, TextFieldProgram::Widget::multiLine, 11},
                      MultiLineField{"QtPlainText", Toolkit::qt, TextFieldProgram::Widget::plainMultiLine, 11},
                      MultiLineField{"GtkTextView", Toolkit::gtk, TextFieldProgram::Widget::multiLine, 10}),
    [](const ::testing::TestParamInfo<MultiLineField>& info) { return std::string(info.param.name); });

TEST(DictationRoadPicture, FrontWindowIsAJpegWithinTheSizeLimit) {
    // Wider than the limit (and than the screen, which cuts what can be seen).
    TextFieldProgram field({Toolkit::qt, "", "hola mundo", -1, 0, false, false, 2400, 600});
    auto workspace = std::make_shared<desktop::X11Workspace>();
    parlox::testing::StandardDefaults saidYes(nlohmann::json{{Parlox::ScreenContextConsent::key, true}});
    Parlox::ScreenContext screen(workspace, std::make_shared<desktop::X11WindowScreenshot>());
    const auto front = workspace->frontmostApplication();
    ASSERT_TRUE(front);
    const auto path = screen.capture(front->processIdentifier);
    ASSERT_TRUE(path);
    QImage picture;
    ASSERT_TRUE(picture.load(QString::fromStdString(path->string()), "JPG"));
    EXPECT_EQ(picture.width(), 1600);
    EXPECT_EQ(picture.height(), 400);
    Parlox::ScreenContext::discardAll();
    EXPECT_FALSE(std::filesystem::exists(*path));
}

TEST(DictationRoadMicrophone, RecordsAboutOneSecondAt16kMono) {
    ASSERT_TRUE(parlox::testing::Microphone::available());
    Parlox::AudioRecorder recorder(audio::makePulseAudioSystem(), MainQueueScheduler::shared());
    std::vector<float> levels;
    recorder.setOnLevel([&](float level) { levels.push_back(level); });
    recorder.start();
    {
        // One second of tone, then silence for as long as the test listens:
        // until a tenth of a second of it is in.
        parlox::testing::Microphone microphone;
        ASSERT_TRUE(eventually([&] {
            MainQueue::shared().runPending();
            return recorder.sampleCount() >= 16000 + 1600;
        }));
    }
    MainQueue::shared().runPending();
    const std::vector<float> samples = recorder.stop();
    ASSERT_GE(samples.size(), 16000u + 1600u);
    // How much came in after that depends on the machine; how long the tone
    // lasts does not: one second is 16,000 samples at 16 kHz.
    const auto loud = [](float sample) { return std::fabs(sample) > 0.1f; };
    const auto first = std::find_if(samples.begin(), samples.end(), loud);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), loud);
    ASSERT_NE(first, samples.end());
    EXPECT_NEAR(static_cast<double>(std::distance(first, last.base())), 16000.0, 160.0);
    double energy = 0;
    for (size_t i = 0; i < 16000; ++i) energy += samples[i] * samples[i];
    // The left channel's tone: half scale, RMS 0.354.
    EXPECT_NEAR(std::sqrt(energy / 16000), 0.5 / std::sqrt(2.0), 0.03);
    ASSERT_FALSE(levels.empty());
    EXPECT_GT(levels.front(), 0.5f);
}

}  // namespace
