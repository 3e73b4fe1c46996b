#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "platform/accessibility/AtspiClient.hpp"
#include "platform/desktop/ClipboardOwnerProcess.hpp"
#include "platform/desktop/X11Selection.hpp"
#include "platform/input/XTestInput.hpp"
#include "tests/desktop/DesktopSession.hpp"

using namespace platform::desktop;
using platform::accessibility::AtspiClient;
using parlox::testing::TextFieldProgram;
using Toolkit = TextFieldProgram::Toolkit;

namespace {

class RawPaste : public ::testing::TestWithParam<Toolkit> {};

TEST_P(RawPaste, PastesOverSelectionWhileAltIsHeld) {
    TextFieldProgram field({GetParam(), "", "hola mundo", 5, 5});
    platform::input::XTestInput input;
    // The user still holds Alt from the shortcut.
    Display* d = XOpenDisplay(nullptr);
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_Alt_L), True, CurrentTime);
    XSync(d, False);

    auto element = AtspiClient::shared().focusedElement(field.pid());
    ASSERT_TRUE(element);
    const auto range = element->selectedRange();
    ASSERT_EQ(range, std::make_pair(5L, 5L));
    auto owner = ClipboardOwnerProcess::start(textForms("planeta"));
    EXPECT_EQ(input.releaseHeldModifiers(), 1);
    ASSERT_TRUE(input.tap({"Control_L"}, "v"));
    ASSERT_TRUE(owner->waitUntilServed(std::chrono::milliseconds(2000)));
    ASSERT_TRUE(field.waitForField("hola planeta", ""));
    EXPECT_TRUE(element->select(5, 7));
    EXPECT_TRUE(field.waitForField("hola planeta", "planeta"));
    owner->quit();
    XCloseDisplay(d);
}

INSTANTIATE_TEST_SUITE_P(Toolkits, RawPaste, ::testing::Values(Toolkit::qt, Toolkit::gtk),
                         [](const auto& info) { return info.param == Toolkit::qt ? "Qt" : "Gtk"; });

TEST(RawClipboard, ReaderSeesTheHelpersForms) {
    auto owner = ClipboardOwnerProcess::start(textForms("texto del usuario ✓"));
    X11SelectionReader reader;
    EXPECT_EQ(reader.text(), "texto del usuario ✓");
    std::vector<unsigned char> big(300 * 1024);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 7);
    const auto before = reader.changeCount();
    auto second = ClipboardOwnerProcess::start({SelectionData{"image/png", "image/png", 8, big}});
    EXPECT_GT(reader.changeCount(), before);
    EXPECT_FALSE(owner->stillOwner());
    const auto all = reader.readAll();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].bytes, big);
    second->quit();
}

}  // namespace
