#include <gtest/gtest.h>

#include "app/Insertion/Clipboard.hpp"
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
    desktop.pasteboard->clearContents();
    desktop.pasteboard->clearLog();
    clipboard.restore(saved);
    EXPECT_EQ(desktop.pasteboard->contents(), items);
    EXPECT_EQ(desktop.pasteboard->operations(), (std::vector<Operation>{Operation::clear, Operation::writeItems}));
}

TEST_F(ClipboardTest, AnEmptySnapshotLeavesThePasteboardClearedWithoutAWrite) {
    desktop.pasteboard->clearLog();
    clipboard.restore({});
    EXPECT_TRUE(desktop.pasteboard->contents().empty());
    EXPECT_EQ(desktop.pasteboard->operations(), (std::vector<Operation>{Operation::clear}));
}

TEST_F(ClipboardTest, CopySelectionPollsFifteenTimesAndAlwaysRestores) {
    struct Case {
        int copiesOnRead;  // 0: the application never copies
        std::optional<std::string> expected;
        double waited;
    };
    // Read 1 is the count right after clearing; polls are reads 2 to 16.
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

TEST_F(ClipboardTest, PasteHoldsTheTextForFourTenthsThenRestores) {
    auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
    std::optional<std::string> heldDuringPaste;
    desktop.keys->setHandler([&](const auto& event) {
        heldDuringPaste = desktop.pasteboard->string();
        field->paste(*heldDuringPaste);
        EXPECT_EQ(event.target, KeyTarget::terminal);
    });
    clipboard.paste("adiós", KeyTarget::terminal);
    EXPECT_EQ(heldDuringPaste, "adiós");
    EXPECT_EQ(field->text(), "adiós");
    EXPECT_EQ(desktop.scheduler->sleeps(), (std::vector<double>{0.4}));
    EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
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
        desktop.keys->setHandler([&](const auto&) { c.meanwhile(); });
        clipboard.paste("adiós", KeyTarget::ordinary);
        EXPECT_EQ(desktop.pasteboard->contents(), c.expected);
    }
}

}  // namespace
}  // namespace dictation_test
