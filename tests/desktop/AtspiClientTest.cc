#include <gtest/gtest.h>

#include "platform/accessibility/AtspiClient.hpp"
#include "platform/desktop/X11Desktop.hpp"
#include "tests/desktop/DesktopSession.hpp"

using platform::accessibility::AtspiClient;
using platform::desktop::X11Desktop;
using parlox::testing::TextFieldProgram;
using Toolkit = TextFieldProgram::Toolkit;

namespace {

struct SelectionCase {
    Toolkit toolkit;
    std::string name;
    int start;   // in the toolkit's units
    int length;  // in the toolkit's units
};

class AtspiSelection : public ::testing::TestWithParam<SelectionCase> {};

// "hola canción 👍" with "canción 👍" selected: 9 code points, 10 UTF-16 units.
TEST_P(AtspiSelection, ReadsNameSelectionAndBoundsInUtf16Units) {
    const auto& c = GetParam();
    TextFieldProgram field({c.toolkit, c.name, "hola canción 👍", c.start, c.length});
    X11Desktop desktop;
    const auto window = desktop.activeWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->pid, field.pid());
    EXPECT_EQ(window->instance, c.name);

    auto element = AtspiClient::shared().focusedElement(field.pid());
    ASSERT_TRUE(element);
    EXPECT_EQ(element->applicationName(), c.name);
    EXPECT_EQ(element->pid(), field.pid());
    EXPECT_FALSE(element->isPassword());
    EXPECT_EQ(element->selection(), std::make_pair(5L, 10L));
    EXPECT_EQ(element->textIn(5, 10), "canción 👍");
    const auto bounds = element->bounds(5, 10);
    ASSERT_TRUE(bounds);
    EXPECT_GT(bounds->width, 0);
    EXPECT_GT(bounds->height, 0);
    EXPECT_GE(bounds->x, window->frame.x - 5);
    EXPECT_GE(bounds->y, window->frame.y - 5);
    EXPECT_LE(bounds->x + bounds->width, window->frame.x + window->frame.width);
    EXPECT_LE(bounds->y + bounds->height, window->frame.y + window->frame.height);
}

INSTANTIATE_TEST_SUITE_P(Toolkits, AtspiSelection,
                         ::testing::Values(SelectionCase{Toolkit::qt, "campo-qt", 5, 10},
                                           SelectionCase{Toolkit::gtk, "campo-gtk", 5, 9}),
                         [](const auto& info) { return info.param.name == "campo-qt" ? "Qt" : "Gtk"; });

}  // namespace
