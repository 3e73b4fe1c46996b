#include <gtest/gtest.h>

#include <algorithm>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "app/Context/ContextCapture.hpp"
#include "app/Insertion/TextInserter.hpp"
#include "app/Insertion/TextReplacement.hpp"
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

}  // namespace
