#include <gtest/gtest.h>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/desktop/ClipboardOwnerProcess.hpp"
#include "platform/desktop/X11Pasteboard.hpp"
#include "platform/desktop/X11Selection.hpp"
#include "tests/desktop/DesktopSession.hpp"
#include "tests/desktop/TakenAtTheGiveBack.hpp"
#include "tests/support/ProcessGone.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace platform::desktop {
void PrintTo(GiveBack result, std::ostream* os) {
    *os << (result == GiveBack::done ? "done" : result == GiveBack::takenMeanwhile ? "taken meanwhile" : "failed");
}
}  // namespace platform::desktop

using namespace platform;
using platform::desktop::ClipboardOwnerProcess;
using platform::desktop::GiveBack;
using platform::desktop::PasteboardItem;
using platform::desktop::X11Pasteboard;
using parlox::testing::TextFieldProgram;
using parlox::testing::eventually;
using Toolkit = TextFieldProgram::Toolkit;

namespace {

std::optional<std::string> representation(const std::vector<PasteboardItem>& items, const std::string& type) {
    for (const auto& item : items)
        for (const auto& [t, data] : item.representations)
            if (t == type) return data;
    return std::nullopt;
}

TEST(Pasteboard, SnapshotAndRestoreKeepEveryFormIncludingLargeOnes) {
    X11Pasteboard pasteboard;
    std::string picture(300 * 1024, '\0');
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<char>(i * 7);
    auto owner = ClipboardOwnerProcess::start({{"image/png", "image/png", 8, {picture.begin(), picture.end()}}});
    const auto saved = pasteboard.items();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(representation(saved, "image/png"), picture);
    EXPECT_EQ(pasteboard.string(), std::nullopt);

    const int64_t before = pasteboard.changeCount();
    pasteboard.clearContents();
    EXPECT_GT(pasteboard.changeCount(), before);
    EXPECT_TRUE(pasteboard.items().empty());
    pasteboard.writeItems(saved);
    EXPECT_EQ(representation(pasteboard.items(), "image/png"), picture);
    EXPECT_TRUE(eventually([&] { return !owner->stillOwner(); }));
}

TEST(Pasteboard, TextAndEmptyWrites) {
    X11Pasteboard pasteboard;
    pasteboard.setString("canción 👍");
    EXPECT_EQ(pasteboard.string(), "canción 👍");
    EXPECT_EQ(representation(pasteboard.items(), std::string(desktop::Pasteboard::plainTextType)), "canción 👍");
    pasteboard.clearContents();
    pasteboard.writeItems({});
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    EXPECT_TRUE(pasteboard.items().empty());
}

// The helper outlives this process: it must not keep any of its files open
// (an idle lock, a pipe whose reader waits for the end).
TEST(ClipboardHelper, KeepsNoneOfThisProcesssFilesOpen) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);  // inheritable, as a library's descriptor may be
    const UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    auto owner = ClipboardOwnerProcess::start(desktop::textForms("texto"));
    writeEnd.reset();
    pollfd end{readEnd.get(), POLLIN, 0};
    const int ready = ::poll(&end, 1, 3000);
    EXPECT_EQ(ready, 1) << "the helper still holds the pipe";
    char byte;
    if (ready == 1) {
        EXPECT_EQ(::read(readEnd.get(), &byte, 1), 0);  // every writer is gone
    }
    owner->quit();
}

// Started from a thread that holds termination signals off (as a command
// line run does), the helper still ends when asked to.
TEST(ClipboardHelper, EndsOnTerminateWhateverThisThreadBlocks) {
    sigset_t terminate, previous;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &terminate, &previous), 0);
    auto owner = ClipboardOwnerProcess::start(desktop::textForms("texto"));
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ASSERT_EQ(::kill(owner->pid(), SIGTERM), 0);
    const bool ended = eventually([&] { return !owner->stillOwner(); });
    EXPECT_TRUE(ended);
    if (!ended) owner->quit();
}

// The helper cannot start: every write says it failed and the contents
// before stay where they were (nothing is emptied first).
TEST(Pasteboard, AWriteThatFailsKeepsTheContentsBefore) {
    auto user = ClipboardOwnerProcess::start(desktop::textForms("texto del usuario"));
    auto selected = ClipboardOwnerProcess::start(desktop::textForms("seleccionado"), "PRIMARY");
    X11Pasteboard pasteboard;
    ::setenv("PARLOX_CLIPBOARD_OWNER", "/nonexistent/parlox-clipboard-owner", 1);
    EXPECT_FALSE(pasteboard.setString("respuesta"));
    EXPECT_FALSE(pasteboard.writeItems({PasteboardItem{{{"text/plain", "respuesta"}}}}));
    EXPECT_FALSE(pasteboard.setPrimaryString("respuesta"));
    ::unsetenv("PARLOX_CLIPBOARD_OWNER");
    EXPECT_EQ(pasteboard.string(), "texto del usuario");
    EXPECT_TRUE(user->stillOwner());
    EXPECT_EQ(pasteboard.primarySelection()->text, "seleccionado");
    EXPECT_TRUE(selected->stillOwner());
    user->quit();
    selected->quit();
}

// The helper tells who was handed the text: here, this process's own reader.
TEST(Pasteboard, WhatWasWrittenIsKnownToBeTakenByTheProgramThatReadIt) {
    X11Pasteboard pasteboard;
    ASSERT_TRUE(pasteboard.setString("respuesta"));
    ASSERT_TRUE(pasteboard.setPrimaryString("respuesta"));
    EXPECT_FALSE(pasteboard.takenBy(::getpid()));
    EXPECT_FALSE(pasteboard.primaryTakenBy(::getpid()));
    desktop::X11SelectionReader reader("CLIPBOARD");
    ASSERT_TRUE(reader.targets());  // asking what it offers is not taking it
    EXPECT_FALSE(pasteboard.takenBy(::getpid()));
    EXPECT_EQ(reader.text(), "respuesta");
    EXPECT_TRUE(eventually([&] { return pasteboard.takenBy(::getpid()); }));
    EXPECT_FALSE(pasteboard.takenBy(::getpid() + 100000));
    EXPECT_FALSE(pasteboard.primaryTakenBy(::getpid()));
    pasteboard.clearContents();
    pasteboard.writePrimaryItems({});
}

// A clipboard manager reads what is written at once, before the paste key;
// only what is read after the key is the pasting program's. The stand-in
// manager runs in this process, so the X server names it as the program
// that pastes, as any read counts where the server names nobody.
TEST(Pasteboard, OnlyReadsAfterThePasteKeyAreTheProgramsPaste) {
    X11Pasteboard pasteboard;
    ASSERT_TRUE(pasteboard.setString("respuesta"));
    ASSERT_TRUE(pasteboard.setPrimaryString("respuesta"));
    desktop::X11SelectionReader clipboardManager("CLIPBOARD"), primaryManager("PRIMARY");
    ASSERT_EQ(clipboardManager.text(), "respuesta");
    ASSERT_EQ(primaryManager.text(), "respuesta");
    pasteboard.markPasteKey();
    EXPECT_FALSE(pasteboard.takenBy(::getpid()));
    EXPECT_FALSE(pasteboard.primaryTakenBy(::getpid()));

    desktop::X11SelectionReader program("CLIPBOARD");
    EXPECT_EQ(program.text(), "respuesta");
    EXPECT_TRUE(eventually([&] { return pasteboard.takenBy(::getpid()); }));
    EXPECT_FALSE(pasteboard.primaryTakenBy(::getpid()));
    pasteboard.clearContents();
    pasteboard.writePrimaryItems({});
}

TEST(Pasteboard, ThePrimarySelectionIsSavedAndPutBack) {
    auto selected = ClipboardOwnerProcess::start(desktop::textForms("seleccionado"), "PRIMARY");
    X11Pasteboard pasteboard;
    const auto saved = pasteboard.primaryItems();
    EXPECT_EQ(representation(saved, "UTF8_STRING"), "seleccionado");
    ASSERT_TRUE(pasteboard.setPrimaryString("respuesta"));
    EXPECT_EQ(pasteboard.primarySelection()->text, "respuesta");
    // The helper hears that it lost the selection a moment later.
    EXPECT_TRUE(eventually([&] { return !selected->stillOwner(); }));
    ASSERT_TRUE(pasteboard.writePrimaryItems(saved));
    EXPECT_EQ(pasteboard.primarySelection()->text, "seleccionado");
    ASSERT_TRUE(pasteboard.writePrimaryItems({}));
    EXPECT_EQ(pasteboard.primarySelection(), std::nullopt);
}

// Right after a transcription a busy machine can take more than ten seconds
// to start the helper: the write waits for it rather than losing the text.
TEST(Pasteboard, AHelperSlowToStartStillTakesTheText) {
    auto user = ClipboardOwnerProcess::start(desktop::textForms("texto del usuario"));
    parlox::testing::TemporaryFolder folder;
    const auto slow = folder.writeFile("parlox-clipboard-owner",
                                       "#!/bin/sh\nsleep 12\nexec '" + ClipboardOwnerProcess::executable().string() +
                                           "' \"$@\"\n");
    std::filesystem::permissions(slow, std::filesystem::perms::owner_all);
    ::setenv("PARLOX_CLIPBOARD_OWNER", slow.c_str(), 1);
    X11Pasteboard pasteboard;
    const bool written = pasteboard.setString("respuesta");
    ::unsetenv("PARLOX_CLIPBOARD_OWNER");
    EXPECT_TRUE(written);
    EXPECT_EQ(pasteboard.string(), "respuesta");
    pasteboard.writeItems({});
}

TEST(Pasteboard, AHelperThatIsGoneCannotTakeUsWithIt) {
    // Telling a helper that has ended to quit writes into a pipe nobody
    // reads: that must be an error to ignore, not a signal that ends us.
    auto helper = ClipboardOwnerProcess::start(desktop::textForms("texto"));
    ASSERT_EQ(::kill(helper->pid(), SIGKILL), 0);
    ASSERT_TRUE(eventually([&] { return parlox::testing::processGone(helper->pid()); }));
    EXPECT_FALSE(helper->stillOwner());
    helper->quit();
    SUCCEED() << "still here after writing to the helper that is gone";
}

// Parlox has found the selection still holding its own text and gives the
// user's contents back; another program takes the selection while the
// helper that puts them back starts up. The X server refuses the give-back:
// what the other program put there stays, and the give-back says so.
// Taken by nobody, the user's contents come back.
TEST(Pasteboard, AGiveBackFindsASelectionTakenWhileItsHelperStartsUp) {
    struct Case {
        std::string selection;
        bool takenMeanwhile;
    };
    for (const Case& c : {Case{"CLIPBOARD", true}, Case{"PRIMARY", true}, Case{"CLIPBOARD", false},
                          Case{"PRIMARY", false}}) {
        SCOPED_TRACE(c.selection + (c.takenMeanwhile ? ", taken meanwhile" : ", taken by nobody"));
        const bool primary = c.selection == "PRIMARY";
        auto user = ClipboardOwnerProcess::start(desktop::textForms("texto del usuario"), c.selection);
        X11Pasteboard pasteboard;
        const auto saved = primary ? pasteboard.primaryItems() : pasteboard.items();
        ASSERT_TRUE(primary ? pasteboard.setPrimaryString("respuesta") : pasteboard.setString("respuesta"));
        const int64_t written = primary ? pasteboard.primaryChangeCount() : pasteboard.changeCount();
        std::optional<parlox::testing::TakenAtTheGiveBack> another;
        if (c.takenMeanwhile) another.emplace("copiado después", c.selection);
        const GiveBack result = primary ? pasteboard.giveBackPrimaryItems(saved, written)
                                        : pasteboard.giveBackItems(saved, written);
        if (another) {
            EXPECT_TRUE(another->took());
        }
        EXPECT_EQ(result, c.takenMeanwhile ? GiveBack::takenMeanwhile : GiveBack::done);
        const auto text = primary ? pasteboard.primarySelection().value_or(desktop::PrimarySelection{}).text
                                  : pasteboard.string().value_or("");
        EXPECT_EQ(text, c.takenMeanwhile ? "copiado después" : "texto del usuario");
        another.reset();
        primary ? pasteboard.writePrimaryItems({}) : pasteboard.writeItems({});
    }
}

// The X server's rule that the give-back stands on: leaving a selection to
// nobody at the time of the change Parlox knew works while that change is
// the last, and is ignored once another program took the selection after it.
TEST(Pasteboard, ASelectionIsLeftToNobodyOnlyIfNobodyTookItAfterTheChangeKnown) {
    desktop::X11SelectionReader selection("CLIPBOARD");
    auto first = ClipboardOwnerProcess::start(desktop::textForms("respuesta"));
    const auto known = selection.lastChangeTimeIfUnchangedSince(selection.changeCount());
    ASSERT_TRUE(known);
    ASSERT_NE(*known, 0u) << "no change of owner seen";
    // The server counts time in milliseconds: the second owner's comes later.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    auto second = ClipboardOwnerProcess::start(desktop::textForms("copiado después"));
    EXPECT_FALSE(selection.clearUnlessTakenAfter(*known));
    EXPECT_EQ(selection.text(), "copiado después");
    const auto last = selection.lastChangeTimeIfUnchangedSince(selection.changeCount());
    ASSERT_TRUE(last);
    EXPECT_TRUE(selection.clearUnlessTakenAfter(*last));
    EXPECT_EQ(selection.owner(), 0u);
    EXPECT_TRUE(eventually([&] { return !second->stillOwner(); }));
}

TEST(Pasteboard, PrimarySelectionNamesItsOwner) {
    // GTK puts a programmatic selection in the primary selection.
    TextFieldProgram field({Toolkit::gtk, "", "hola mundo", 5, 5});
    X11Pasteboard pasteboard;
    std::optional<desktop::PrimarySelection> primary;
    ASSERT_TRUE(parlox::testing::eventually([&] { return (primary = pasteboard.primarySelection()).has_value(); }));
    EXPECT_EQ(primary->text, "mundo");
    EXPECT_EQ(primary->ownerProcessId, field.pid());
}

}  // namespace
