#include <gtest/gtest.h>

#include "app/Insertion/KeyTargets.hpp"
#include "platform/accessibility/fake/FakeAccessibility.hpp"

namespace {

using platform::accessibility::FakeTextField;
using platform::desktop::RunningApplication;
using platform::input::KeyTarget;
namespace roles = platform::accessibility::roles;

struct Program {
    const char* name;
    std::optional<std::string> role;  // of the focused element; none: no element
    bool knownTerminal;               // by its window class
    bool holdsPseudoTerminal;
    KeyTarget expected;
    bool terminalInDoubt = false;
};

void PrintTo(const Program& p, std::ostream* os) { *os << p.name; }

class KeyTargetTest : public ::testing::TestWithParam<Program> {};

TEST_P(KeyTargetTest, ATerminalIsKnownByRoleNameOrWhatTheProgramIs) {
    const Program& p = GetParam();
    std::shared_ptr<FakeTextField> element;
    if (p.role) {
        element = std::make_shared<FakeTextField>("texto");
        element->setRole(p.role);
    }
    RunningApplication app{42, "programa", "Programa", p.knownTerminal, p.holdsPseudoTerminal, p.terminalInDoubt};
    EXPECT_EQ(Parlox::keyTargetFor(element, app), p.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, KeyTargetTest,
    ::testing::Values(
        Program{"TextEditor", std::string(roles::text), false, false, KeyTarget::ordinary},
        Program{"ProgramWithoutAccessibility", std::nullopt, false, false, KeyTarget::ordinary},
        Program{"TerminalByRole", std::string(roles::terminal), false, false, KeyTarget::terminal},
        Program{"TerminalByName", std::nullopt, true, true, KeyTarget::terminal},
        Program{"TerminalByNameWithATextField", std::string(roles::text), true, false, KeyTarget::terminal},
        // Not on the list and without accessibility: what it is tells.
        Program{"UnknownTerminal", std::nullopt, false, true, KeyTarget::terminal},
        Program{"UnknownTerminalShowingAnotherElement", std::string("filler"), false, true, KeyTarget::terminal},
        // An editor with a terminal inside, its text field focused.
        Program{"EditorWithATerminalInside", std::string(roles::text), false, true, KeyTarget::mayBeTerminal},
        Program{"EditorWithItsTerminalFocused", std::string(roles::terminal), false, true, KeyTarget::terminal},
        // Its terminal runs in a helper, or what it holds cannot be read:
        // the keys that cannot hurt, whatever it shows.
        Program{"ProgramInDoubtShowingATextField", std::string(roles::text), false, false, KeyTarget::mayBeTerminal,
                true},
        Program{"ProgramInDoubtWithoutAccessibility", std::nullopt, false, false, KeyTarget::mayBeTerminal, true},
        Program{"ProgramInDoubtShowingATerminal", std::string(roles::terminal), false, false, KeyTarget::terminal,
                true}),
    [](const ::testing::TestParamInfo<Program>& info) { return std::string(info.param.name); });

TEST(KeyTarget, NoApplicationIsAnOrdinaryTarget) {
    EXPECT_EQ(Parlox::keyTargetFor(nullptr, std::nullopt), KeyTarget::ordinary);
}

}  // namespace
