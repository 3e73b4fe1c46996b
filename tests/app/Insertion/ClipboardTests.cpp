#include <gtest/gtest.h>

#include <algorithm>

#include "app/Insertion/Clipboard.hpp"
#include "tests/app/Dictation/DictationFixture.hpp"
#include "tests/app/Dictation/FakeDesktop.hpp"

namespace dictation_test {
namespace {

using Parlox::Clipboard;
using Operation = platform::desktop::FakePasteboard::Operation;
using platform::input::KeyTarget;

class ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override { desktop.pasteboard->setContents(FakeDesktop::userClipboard()); }
    FakeDesktop desktop;
    Clipboard clipboard{desktop.services()};
};

TEST_F(ClipboardTest, SnapshotAndRestoreKeepEveryItemAndType) {
    const std::vector<PasteboardItem> items{
        PasteboardItem{{{"text/plain;charset=utf-8", "uno"}, {"text/html", "<i>uno</i>"}, {"image/png", "PNG"}}},
        PasteboardItem{{}}};
    desktop.pasteboard->setContents(items);
    const auto saved = clipboard.snapshot();
    EXPECT_EQ(saved.items, items);
    desktop.pasteboard->setContents(FakeDesktop::userClipboard());
    desktop.pasteboard->clearLog();
    EXPECT_TRUE(clipboard.restore(saved));
    EXPECT_EQ(desktop.pasteboard->contents(), items);
    // In one write: the pasteboard is never left empty on the way.
    EXPECT_EQ(desktop.pasteboard->operations(), (std::vector<Operation>{Operation::writeItems}));
}

TEST_F(ClipboardTest, AnEmptySnapshotLeavesThePasteboardEmpty) {
    EXPECT_TRUE(clipboard.restore({}));
    EXPECT_TRUE(desktop.pasteboard->contents().empty());
}

// A pasteboard that takes nothing: no write empties it first, so the
// user's contents stay, and every write says it failed. A paste posts no
// key, which would paste the user's contents instead.
TEST_F(ClipboardTest, WritesThatFailKeepTheUsersContentsAndSaySo) {
    auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
    desktop.pasteboard->failWrites(true);
    EXPECT_FALSE(clipboard.put("respuesta"));
    EXPECT_FALSE(clipboard.restore(Clipboard::Snapshot{{PasteboardItem{{{"text/plain;charset=utf-8", "otro"}}}}}));
    for (const auto target : {KeyTarget::ordinary, KeyTarget::terminal}) {
        EXPECT_FALSE(clipboard.paste("respuesta", target, 42));
    }
    EXPECT_TRUE(desktop.keys->events().empty());
    EXPECT_EQ(field->text(), "hola");
    EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
    const auto operations = desktop.pasteboard->operations();
    EXPECT_EQ(std::count(operations.begin(), operations.end(), Operation::clear), 0);
}

TEST_F(ClipboardTest, CopySelectionPollsFifteenTimesAndAlwaysRestores) {
    struct Case {
        int copiesOnRead;  // 0: the application never copies
        std::optional<std::string> expected;
        double waited;
    };
    // Read 1 is the count before the key; polls are reads 2 to 16, and read
    // 17, after them, still finds a copy that came in between.
    for (const Case& c : {Case{2, "seleccionado", 0.02}, Case{16, "seleccionado", 0.30}, Case{17, std::nullopt, 0.30},
                          Case{0, std::nullopt, 0.30}}) {
        SCOPED_TRACE(c.copiesOnRead);
        desktop.pasteboard->setContents(FakeDesktop::userClipboard());
        if (c.copiesOnRead) desktop.pasteboard->copyOnChangeCountRead(c.copiesOnRead, "seleccionado");
        const double before = desktop.scheduler->elapsed();
        EXPECT_EQ(clipboard.copySelection(KeyTarget::ordinary), c.expected);
        EXPECT_NEAR(desktop.scheduler->elapsed() - before, c.waited, 1e-9);
        EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
        desktop.pasteboard->copyOnChangeCountRead(0, "");
    }
}

TEST_F(ClipboardTest, ACopyWithoutTextGivesNone) {
    desktop.keys->setHandler([this](const auto&) {
        desktop.pasteboard->setContents({PasteboardItem{{{"image/png", "PNG"}}}});
    });
    EXPECT_EQ(clipboard.copySelection(KeyTarget::ordinary), std::nullopt);
    EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
}

TEST_F(ClipboardTest, AProgramThatMayBeATerminalIsNotAskedToCopy) {
    for (const auto target : {KeyTarget::mayBeTerminal, KeyTarget::terminal}) {
        desktop.pasteboard->clearLog();
        EXPECT_EQ(clipboard.copySelection(target), std::nullopt);
        EXPECT_TRUE(desktop.keys->events().empty());
        const auto operations = desktop.pasteboard->operations();
        for (const auto write : {Operation::writeItems, Operation::giveBackItems, Operation::setString})
            EXPECT_EQ(std::count(operations.begin(), operations.end(), write), 0);
        EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
    }
}

TEST_F(ClipboardTest, PasteHoldsTheTextForFourTenthsWhenTheProgramTookItAtOnce) {
    auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
    std::optional<std::string> heldDuringPaste;
    desktop.keys->setHandler([&](const auto& event) {
        heldDuringPaste = desktop.pasteboard->deliver(42);
        field->paste(*heldDuringPaste);
        EXPECT_EQ(event.target, KeyTarget::ordinary);
    });
    EXPECT_TRUE(clipboard.paste("adiós", KeyTarget::ordinary, 42));
    EXPECT_EQ(heldDuringPaste, "adiós");
    EXPECT_EQ(field->text(), "adiós");
    EXPECT_EQ(desktop.scheduler->sleeps(), (std::vector<double>{Clipboard::pasteHold}));
    EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
}

// A busy program handles the paste key late: the user's contents come back
// only once that program has the text (a clipboard manager that reads it
// at once is another program), or when it never asks, after the limit.
TEST_F(ClipboardTest, PasteWaitsForTheProgramThatPastesUpToALimit) {
    struct Case {
        const char* name;
        int takesOnQuery;  // 0: never
        double waited;
        std::vector<std::string> delivered;  // to the clipboard manager, then to the program
    };
    const double poll = Clipboard::pollInterval;
    // The first query comes after the hold, then one every poll.
    for (const Case& c :
         {Case{"a second late", 31, Clipboard::pasteHold + 30 * poll + Clipboard::takeSettle, {"adiós", "adiós"}},
          Case{"never", 0, Clipboard::takeLimit, {"adiós"}}}) {
        SCOPED_TRACE(c.name);
        FakeDesktop fresh;
        fresh.pasteboard->setContents(FakeDesktop::userClipboard());
        fresh.focusField(42, "Editor", "hola", {0, 4});
        fresh.keys->setHandler([&](const auto&) {
            fresh.pasteboard->deliver(99);  // a clipboard manager
            if (c.takesOnQuery) fresh.pasteboard->takeOnQuery(c.takesOnQuery, 42);
        });
        Clipboard late(fresh.services());
        EXPECT_TRUE(late.paste("adiós", KeyTarget::ordinary, 42));
        EXPECT_EQ(fresh.pasteboard->delivered(), c.delivered);
        EXPECT_NEAR(fresh.scheduler->elapsed(), c.waited, 1e-6);
        EXPECT_EQ(fresh.pasteboard->contents(), FakeDesktop::userClipboard());
    }
}

// A clipboard manager reads every new content at once, before the paste
// key, or while the key waits for its turn (a terminal's). Where the desktop
// cannot name who reads, that read counts as any program's: it must not end
// the wait for a program that pastes late, or that program would paste the
// user's contents again.
TEST_F(ClipboardTest, AReadBeforeThePasteKeyIsNotTheProgramsPaste) {
    struct Case {
        const char* name;
        KeyTarget target;
        bool readsEveryWrite;   // the manager reads as the text is written
        bool readsWhileWaiting;  // and while the key waits for its turn
        std::vector<std::string> delivered;
    };
    // The manager read the answer (and, later, the user's contents put
    // back); the program got the answer in between.
    for (const Case& c : {Case{"as it is written", KeyTarget::ordinary, true, false,
                               {"adiós", "adiós", "portapapeles del usuario"}},
                          Case{"while the key waits", KeyTarget::terminal, false, true, {"adiós", "adiós"}}}) {
        SCOPED_TRACE(c.name);
        FakeDesktop fresh;
        fresh.pasteboard->setContents(FakeDesktop::userClipboard());
        fresh.focusField(42, "Editor", "hola", {0, 4});
        if (c.readsEveryWrite) fresh.pasteboard->addClipboardManager(std::nullopt);
        fresh.keys->setHandler([&](const auto&) { fresh.pasteboard->takeOnQuery(31, 42); });
        const auto mayPost = [&] {
            if (c.readsWhileWaiting) fresh.pasteboard->deliver(std::nullopt);
            return true;
        };
        Clipboard late(fresh.services());
        EXPECT_TRUE(late.paste("adiós", c.target, 42, {.mayPost = mayPost}));
        EXPECT_EQ(fresh.pasteboard->delivered(), c.delivered);
        const double poll = Clipboard::pollInterval;
        EXPECT_NEAR(fresh.scheduler->elapsed(), Clipboard::pasteHold + 30 * poll + Clipboard::takeSettle, 1e-6);
        EXPECT_EQ(fresh.pasteboard->contents(), FakeDesktop::userClipboard());
    }
}

// A terminal pastes the primary selection with its own key: both hold the
// text during the paste, and both come back after it.
TEST_F(ClipboardTest, ATerminalPastesThePrimarySelectionAndBothComeBack) {
    auto field = desktop.focusField(42, "Terminal", "$ ls", {4, 0});
    desktop.pasteboard->setPrimary(platform::desktop::PrimarySelection{"seleccionado antes", 42});
    const auto primaryBefore = desktop.pasteboard->primaryContents();
    std::optional<std::string> clipboardDuringPaste;
    desktop.keys->setHandler([&](const auto& event) {
        EXPECT_EQ(event.target, KeyTarget::terminal);
        clipboardDuringPaste = desktop.pasteboard->string();
        field->paste(desktop.pasteboard->deliverPrimary(42).value_or(""));
    });
    EXPECT_TRUE(clipboard.paste(" -l", KeyTarget::terminal, 42));
    EXPECT_EQ(field->text(), "$ ls -l");
    EXPECT_EQ(clipboardDuringPaste, " -l");
    EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
    EXPECT_EQ(desktop.pasteboard->primaryContents(), primaryBefore);
}

// Held back at the last moment, a paste posts no key and both selections
// are the user's again, as they were before it.
TEST_F(ClipboardTest, APasteHeldBackAtItsKeyGivesBothSelectionsBack) {
    desktop.pasteboard->setPrimary(platform::desktop::PrimarySelection{"seleccionado antes", 42});
    const auto primaryBefore = desktop.pasteboard->primaryContents();
    for (const auto target : {KeyTarget::ordinary, KeyTarget::terminal}) {
        std::optional<std::string> clipboardWhenAsked;
        EXPECT_FALSE(clipboard.paste("respuesta", target, 42, {.mayPost = [&] {
                                                                   clipboardWhenAsked = desktop.pasteboard->string();
                                                                   return false;
                                                               }}));
        EXPECT_EQ(clipboardWhenAsked, "respuesta");
        EXPECT_TRUE(desktop.keys->events().empty());
        EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
        EXPECT_EQ(desktop.pasteboard->primaryContents(), primaryBefore);
    }
}

TEST_F(ClipboardTest, PasteRestoresOnlyWhatNobodyReplacedMeanwhile) {
    const std::vector<platform::desktop::PasteboardItem> copiedLater{{{{"text/plain;charset=utf-8", "nuevo"}}}};
    struct Case {
        const char* name;
        std::function<void()> meanwhile;
        std::vector<platform::desktop::PasteboardItem> expected;
    };
    const std::vector<Case> cases{
        {"untouched", [] {}, FakeDesktop::userClipboard()},
        {"the user copied anew", [&] { desktop.pasteboard->setContents(copiedLater); }, copiedLater},
        {"a clipboard manager took the same text over",
         [&] { desktop.pasteboard->receiveCopy("adiós"); }, FakeDesktop::userClipboard()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        desktop.pasteboard->setContents(FakeDesktop::userClipboard());
        desktop.keys->setHandler([&](const auto&) {
            desktop.pasteboard->deliver(42);
            c.meanwhile();
        });
        EXPECT_TRUE(clipboard.paste("adiós", KeyTarget::ordinary, 42));
        EXPECT_EQ(desktop.pasteboard->contents(), c.expected);
    }
}

// The user copies something else, or selects something in a terminal, just
// as the contents before are being given back (on the desktop: while the
// helper that puts them back starts up). What the user did stays, and that
// is no failure: nothing is logged.
TEST_F(ClipboardTest, WhatTheUserCopiesAsTheContentsAreGivenBackStays) {
    const auto userSelection = platform::desktop::PrimarySelection{"seleccionado antes", 7};
    const auto userSelectsLater = platform::desktop::PrimarySelection{"seleccionado después", 7};
    struct Case {
        const char* name;
        KeyTarget target;
        bool copyKey;    // the copy fallback, else a paste
        bool heldBack;   // a paste held back at its key
        bool selects;    // the user selects text rather than copies it
    };
    for (const Case& c : {Case{"after a paste", KeyTarget::ordinary, false, false, false},
                          Case{"after a paste held back at its key", KeyTarget::terminal, false, true, false},
                          Case{"after the copy key", KeyTarget::ordinary, true, false, false},
                          Case{"the clipboard after a terminal's paste", KeyTarget::terminal, false, false, false},
                          Case{"the primary selection after a terminal's paste", KeyTarget::terminal, false, false,
                               true}}) {
        SCOPED_TRACE(c.name);
        FakeDesktop fresh;
        fresh.pasteboard->setContents(FakeDesktop::userClipboard());
        fresh.pasteboard->setPrimary(userSelection);
        fresh.focusField(42, "Editor", "hola mundo", {5, 5});
        const auto userActs = [&] {
            if (c.selects) fresh.pasteboard->selectAtNextPrimaryWrite(userSelectsLater.text, 7);
            else fresh.pasteboard->copyAtNextWrite("copiado después");
        };
        fresh.afterKey = [&](const auto&) { userActs(); };
        const LogCapture log;
        Clipboard clipboard(fresh.services());
        if (c.copyKey) {
            EXPECT_EQ(clipboard.copySelection(c.target), "mundo");
        } else {
            EXPECT_EQ(clipboard.paste("planeta", c.target, 42, {.mayPost = [&] {
                if (c.heldBack) userActs();
                return !c.heldBack;
            }}), !c.heldBack);
        }
        EXPECT_EQ(fresh.pasteboard->string(), c.selects ? "portapapeles del usuario" : "copiado después");
        EXPECT_EQ(fresh.pasteboard->primarySelection()->text, (c.selects ? userSelectsLater : userSelection).text);
        EXPECT_EQ(log.lines(), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace dictation_test
