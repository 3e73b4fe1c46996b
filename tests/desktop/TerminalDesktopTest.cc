#include <gtest/gtest.h>

#include <algorithm>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "app/Context/ContextCapture.hpp"
#include "app/Insertion/TextInserter.hpp"
#include "app/Insertion/TextReplacement.hpp"
#include "platform/desktop/X11Workspace.hpp"
#include "app/Support/X11DesktopServices.hpp"
#include "platform/desktop/ClipboardOwnerProcess.hpp"
#include "tests/desktop/DesktopSession.hpp"
#include "tests/desktop/InsertionOutcomePrinting.hpp"

using namespace platform;
using Parlox::CapturedContext;
using Parlox::ContextCapture;
using Parlox::TextInserter;
using Parlox::TextReplacement;
using Outcome = TextInserter::Outcome;
using parlox::testing::FixtureProcess;
using parlox::testing::TerminalProgram;

namespace {

// Presses one plain key on the test display. The terminal passes it on
// after every key posted before it, so once the shell has it, anything the
// code under test sent has arrived too. The shell does not show it.
void pressMarker() {
    Display* display = XOpenDisplay(nullptr);
    const KeyCode code = XKeysymToKeycode(display, XK_z);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XSync(display, False);
    XCloseDisplay(display);
}

// What the shell got up to a new marker key; the markers (a letter the
// tests' texts do not have) are left out.
std::string receivedUpToMarker(const TerminalProgram& terminal) {
    const auto markers = [&] {
        const std::string got = terminal.received();
        return std::count(got.begin(), got.end(), 'z');
    };
    const auto before = markers();
    pressMarker();
    EXPECT_TRUE(parlox::testing::eventually([&] { return markers() > before; }))
        << "the shell did not get the marker key";
    std::string got = terminal.received();
    got.erase(std::remove(got.begin(), got.end(), 'z'), got.end());
    return got;
}

// A key that would interrupt, suspend or run the half-typed command, or
// quote the next key into it.
bool hasControlKey(const std::string& bytes) {
    return bytes.find_first_of(std::string("\x03\x1a\r\n\x16", 5)) != std::string::npos;
}

std::unique_ptr<desktop::ClipboardOwnerProcess> userClipboard() {
    return desktop::ClipboardOwnerProcess::start(desktop::textForms("texto del usuario"));
}

class Terminal : public ::testing::TestWithParam<TerminalProgram::Options> {
protected:
    Parlox::DesktopServices desktop = Parlox::x11DesktopServices();
};

// The whole road in a terminal: the capture sends no copy key, the answer
// is pasted at the command line's cursor with the terminal's own paste
// key, nothing reaches the shell as a control key, the user's clipboard
// comes back, and an undo sends no undo key.
TEST_P(Terminal, TheAnswerLandsOnTheCommandLineAndNoControlKeyReachesTheShell) {
    const auto& options = GetParam();
    TerminalProgram terminal(options, "hola mundo");
    auto user = userClipboard();
    if (options.accessible) {
        // "mundo" selected in "$ hola mundo", once the terminal shows it.
        const auto element = parlox::testing::focusedOverAccessibility(*desktop.accessibility, terminal.pid());
        ASSERT_TRUE(element);
        ASSERT_TRUE(parlox::testing::eventually(
            [&] { return element->setSelectedTextRange({7, 5}) && element->selectedText() == "mundo"; }));
    }

    const CapturedContext context = ContextCapture::capture(desktop);
    EXPECT_EQ(context.pid, terminal.pid());
    EXPECT_EQ(context.selectedText, options.accessible ? "mundo" : "");
    EXPECT_EQ(receivedUpToMarker(terminal), "");

    const Outcome outcome = TextInserter::insert("planeta", context, desktop);
    // The terminal pastes at its cursor, after "$ hola mundo".
    EXPECT_EQ(outcome, options.accessible ? Outcome::inserted(12, false) : Outcome::inserted(std::nullopt, false));
    EXPECT_TRUE(terminal.waitForReceived("\x1b[201~"));
    const std::string pasted = receivedUpToMarker(terminal);
    EXPECT_EQ(pasted, "\x1b[200~planeta\x1b[201~");
    EXPECT_EQ(desktop.pasteboard->string(), "texto del usuario");

    const auto undone = TextReplacement::replace(desktop, {terminal.pid(), context.element, outcome.at, "planeta"},
                                                 "mundo", /*undoKeyAllowed=*/true);
    EXPECT_EQ(undone.kind, TextReplacement::Outcome::Kind::failed);
    const std::string all = receivedUpToMarker(terminal);
    EXPECT_FALSE(hasControlKey(all)) << all;
    EXPECT_EQ(all, pasted);
}

INSTANTIATE_TEST_SUITE_P(
    Terminals, Terminal,
    ::testing::Values(
        TerminalProgram::Options{"Xterm", {"/usr/bin/xterm"}, false},
        // Not known by its name: known by the pseudo-terminal it drives.
        TerminalProgram::Options{"XtermUnderAnotherName", {"/usr/bin/xterm", "-name", "consola", "-class", "Consola"},
                                 false},
        TerminalProgram::Options{"Mlterm", {"/usr/bin/mlterm"}, false},
        TerminalProgram::Options{"Lxterminal", {"/usr/bin/lxterminal", "--no-remote"}, true}),
    [](const ::testing::TestParamInfo<TerminalProgram::Options>& info) { return info.param.name; });

// A bare window of this process that names `pid` as its program and has
// the keyboard focus; it notes the keys it gets.
class NamingWindow {
public:
    explicit NamingWindow(pid_t pid) : display_(XOpenDisplay(nullptr)) {
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 300, 200, 0, 0, 0);
        const long named = pid;
        XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&named), 1);
        XClassHint hint{const_cast<char*>("campo"), const_cast<char*>("Campo")};
        XSetClassHint(display_, window_, &hint);
        XSelectInput(display_, window_, StructureNotifyMask | KeyPressMask);
        XMapWindow(display_, window_);
        XEvent event;
        do XNextEvent(display_, &event);
        while (event.type != MapNotify);
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
    }
    ~NamingWindow() {
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }
    NamingWindow(const NamingWindow&) = delete;
    NamingWindow& operator=(const NamingWindow&) = delete;

    // The keys it got, up to a marker key pressed now (left out).
    std::vector<std::string> keysUpToMarker() {
        pressMarker();
        std::vector<std::string> keys;
        const bool marked = parlox::testing::eventually([&] {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type != KeyPress) continue;
                const KeySym sym = XLookupKeysym(&event.xkey, 0);
                if (sym == XK_z) return true;
                const char* name = XKeysymToString(sym);
                keys.push_back(name != nullptr ? name : "?");
            }
            return false;
        });
        EXPECT_TRUE(marked) << "the window did not get the marker key";
        return keys;
    }

private:
    Display* display_;
    Window window_ = 0;
};

// A process id that names no process: one of ours, ended and reaped.
pid_t goneProcess() {
    pid_t child = 0;
    char truePath[] = "/bin/true";
    char* argv[] = {truePath, nullptr};
    EXPECT_EQ(::posix_spawn(&child, truePath, nullptr, nullptr, argv, environ), 0);
    ::waitpid(child, nullptr, 0);
    return child;
}

// The program a window names, as a test starts it.
struct NamedProgram {
    const char* name;
    // Its command; none: a process id that names no process here.
    std::vector<std::string> command;
    bool inDoubt;
};

void PrintTo(const NamedProgram& p, std::ostream* os) { *os << p.name; }

// A program whose pseudo-terminal is held by a helper it started (which
// goes with it).
const char* const helperDrivesATerminal = R"(
import ctypes, os, signal, time
ready, told = os.pipe()
if os.fork() == 0:
    ctypes.CDLL(None).prctl(1, signal.SIGKILL)
    os.openpty()
    os.write(told, b"x")
    time.sleep(120)
    os._exit(0)
os.read(ready, 1)
print("READY", flush=True)
time.sleep(120)
)";

const char* const idleProgram = "import time; print('READY', flush=True); time.sleep(120)";

class NamedByAWindow : public ::testing::TestWithParam<NamedProgram> {
protected:
    Parlox::DesktopServices desktop = Parlox::x11DesktopServices();
};

// A program that may drive a terminal is reported so, and the capture's
// copy road sends it no copy key (Control+C would interrupt what runs
// there); an ordinary one gets it.
TEST_P(NamedByAWindow, OnlyAProgramThatCannotDriveATerminalGetsTheCopyKey) {
    const NamedProgram& p = GetParam();
    std::unique_ptr<FixtureProcess> program;
    if (!p.command.empty()) program = std::make_unique<FixtureProcess>(p.command);
    const pid_t named = program ? program->pid() : goneProcess();
    NamingWindow window(named);

    const auto app = platform::desktop::X11Workspace().frontmostApplication();
    ASSERT_TRUE(app);
    EXPECT_EQ(app->processIdentifier, named);
    EXPECT_FALSE(app->holdsPseudoTerminal);
    EXPECT_EQ(app->terminalInDoubt, p.inDoubt);

    const CapturedContext context = ContextCapture::capture(desktop);
    EXPECT_EQ(context.pid, named);
    EXPECT_EQ(context.method, CapturedContext::Method::none);
    const auto keys = window.keysUpToMarker();
    EXPECT_EQ(std::find(keys.begin(), keys.end(), std::string("c")) != keys.end(), !p.inDoubt);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, NamedByAWindow,
    ::testing::Values(NamedProgram{"ItsHelperDrivesATerminal", {"/usr/bin/python3", "-c", helperDrivesATerminal}, true},
                      NamedProgram{"ItNamesAProcessNotHere", {}, true},
                      NamedProgram{"Ordinary", {"/usr/bin/python3", "-c", idleProgram}, false}),
    [](const ::testing::TestParamInfo<NamedProgram>& info) { return info.param.name; });

}  // namespace
