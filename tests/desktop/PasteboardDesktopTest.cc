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
#include "tests/support/ProcessGone.hpp"

using namespace platform;
using platform::desktop::ClipboardOwnerProcess;
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
