#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "platform/accessibility/AtspiAccessibility.hpp"
#include "platform/desktop/ClipboardOwnerProcess.hpp"
#include "platform/desktop/X11Pasteboard.hpp"
#include "platform/input/XTestKeySynth.hpp"
#include "tests/desktop/DesktopSession.hpp"

using namespace platform;
using platform::accessibility::AtspiAccessibility;
using platform::accessibility::TextRange;
using platform::desktop::ClipboardOwnerProcess;
using platform::desktop::PasteboardItem;
using platform::desktop::X11Pasteboard;
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

// The user's clipboard, owned by another program: a text and an HTML form.
std::unique_ptr<ClipboardOwnerProcess> userClipboard(const std::string& text) {
    auto forms = desktop::textForms(text);
    const std::string html = "<b>" + text + "</b>";
    forms.push_back({"text/html", "text/html", 8, {html.begin(), html.end()}});
    return ClipboardOwnerProcess::start(forms);
}

std::optional<std::string> representation(const std::vector<PasteboardItem>& items, const std::string& type) {
    for (const auto& item : items)
        for (const auto& [t, data] : item.representations)
            if (t == type) return data;
    return std::nullopt;
}

class Insertion : public ::testing::TestWithParam<Toolkit> {
protected:
    X11Pasteboard pasteboard;
    input::XTestKeySynth keys;
    AtspiAccessibility accessibility;

    // Pastes `text` the way the dictation does it and returns the change
    // count right after this process wrote the clipboard.
    int64_t paste(const std::string& text) {
        pasteboard.clearContents();
        pasteboard.setString(text);
        const int64_t written = pasteboard.changeCount();
        keys.paste(input::KeyTarget::ordinary);
        EXPECT_TRUE(pasteboard.waitUntilFetched(2.0));
        return written;
    }
};

TEST_P(Insertion, ReplacesSelectionLeavesAnswerSelectedAndGivesTheClipboardBack) {
    TextFieldProgram field({GetParam(), "", "hola mundo", 5, 5});
    auto user = userClipboard("texto del usuario");
    auto element = accessibility.focusedElement(field.pid());
    ASSERT_TRUE(element);
    const auto range = element->selectedTextRange();
    ASSERT_EQ(range, (TextRange{5, 5}));

    const auto saved = pasteboard.items();
    HeldKey alt(XK_Alt_L);  // still down from the dictation shortcut
    const int64_t written = paste("planeta");
    ASSERT_TRUE(field.waitForField("hola planeta", ""));
    EXPECT_EQ(pasteboard.changeCount(), written);  // nobody else wrote meanwhile
    pasteboard.clearContents();
    pasteboard.writeItems(saved);

    EXPECT_TRUE(element->setSelectedTextRange(TextRange{range->location, 7}));
    EXPECT_TRUE(field.waitForField("hola planeta", "planeta"));
    EXPECT_EQ(element->selectedText(), "planeta");
    EXPECT_EQ(pasteboard.string(), "texto del usuario");
    EXPECT_EQ(representation(pasteboard.items(), "text/html"), "<b>texto del usuario</b>");
}

TEST_P(Insertion, ClipboardChangedDuringInsertionShowsInTheChangeCount) {
    TextFieldProgram field({GetParam(), "", "hola mundo", 5, 5});
    auto user = userClipboard("texto del usuario");
    const int64_t written = paste("planeta");
    ASSERT_TRUE(field.waitForField("hola planeta", ""));
    auto later = userClipboard("copiado después");
    EXPECT_GT(pasteboard.changeCount(), written);
    EXPECT_EQ(pasteboard.string(), "copiado después");
}

TEST_P(Insertion, ReadOnlyFieldKeepsItsTextAndSaysSoOnReadBack) {
    TextFieldProgram field({GetParam(), "", "hola mundo", 5, 5, false, /*readOnly=*/true});
    auto element = accessibility.focusedElement(field.pid());
    ASSERT_TRUE(element);
    pasteboard.setString("planeta");
    keys.paste(input::KeyTarget::ordinary);
    pasteboard.waitUntilFetched(0.5);
    EXPECT_TRUE(field.waitForField("hola mundo", "mundo"));
    EXPECT_EQ(element->selectedText(), "mundo");
    EXPECT_EQ(element->selectedTextRange(), (TextRange{5, 5}));
}

INSTANTIATE_TEST_SUITE_P(Toolkits, Insertion, ::testing::Values(Toolkit::qt, Toolkit::gtk),
                         [](const auto& info) { return info.param == Toolkit::qt ? "Qt" : "Gtk"; });

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
    EXPECT_FALSE(owner->stillOwner());
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
