#include <gtest/gtest.h>

#include "app/Context/ContextCapture.hpp"
#include "tests/app/Dictation/FakeDesktop.hpp"

namespace dictation_test {
namespace {

using Parlox::CapturedContext;
using Parlox::ContextCapture;
using platform::Rect;
using Key = platform::input::FakeKeySynth::Key;

class ContextCaptureTest : public ::testing::Test {
protected:
    CapturedContext capture() { return ContextCapture::capture(desktop.services()); }
    FakeDesktop desktop;
};

TEST_F(ContextCaptureTest, NoApplicationInFrontGivesAnEmptyContext) {
    desktop.workspace->setFrontmost(std::nullopt);
    const auto context = capture();
    EXPECT_FALSE(context.pid);
    EXPECT_FALSE(context.appName);
    EXPECT_FALSE(context.element);
    EXPECT_EQ(context.selectedText, "");
    EXPECT_EQ(context.method, CapturedContext::Method::none);
    EXPECT_TRUE(desktop.keys->events().empty());
}

TEST_F(ContextCaptureTest, ThisProgramInFrontKeepsOnlyTheApplication) {
    desktop.focusField(7, "Parlox", "texto", {0, 5});  // 7 is the fake's own process id
    const auto context = capture();
    EXPECT_EQ(context.pid, 7);
    EXPECT_EQ(context.appName, "Parlox");
    EXPECT_FALSE(context.element);
    EXPECT_EQ(context.method, CapturedContext::Method::none);
    EXPECT_TRUE(desktop.accessibility->exposedApplications().empty());
}

TEST_F(ContextCaptureTest, SelectionFromAccessibility) {
    auto field = desktop.focusField(42, "Editor", "hola mundo", {5, 5});
    field->setBounds({5, 5}, Rect{100, 50, 60, 16});
    const auto context = capture();
    EXPECT_EQ(context.appName, "Editor");
    EXPECT_EQ(context.bundleID, "org.example.Editor");
    EXPECT_EQ(context.element, field);
    EXPECT_EQ(context.selectedText, "mundo");
    EXPECT_EQ(context.selectedRange, (TextRange{5, 5}));
    EXPECT_EQ(context.method, CapturedContext::Method::accessibility);
    EXPECT_EQ(context.caretRect, (Rect{100, 50, 60, 16}));
    EXPECT_FALSE(context.screenshot);
    EXPECT_EQ(desktop.accessibility->exposedApplications(), (std::vector<int32_t>{42}));
}

TEST_F(ContextCaptureTest, PasswordFieldsByRoleOrSubrole) {
    const std::string secure(platform::accessibility::roles::passwordText);
    for (auto [role, subrole] : {std::pair<std::optional<std::string>, std::optional<std::string>>{secure, {}},
                                 {std::string("text"), secure}}) {
        auto field = desktop.focusField(42, "Editor", "secreto", {0, 7});
        field->setRole(role, subrole);
        const auto context = capture();
        EXPECT_TRUE(context.isSecure);
        EXPECT_EQ(context.method, CapturedContext::Method::accessibility);
        EXPECT_EQ(context.selectedText, "");
        EXPECT_FALSE(context.selectedRange);
        EXPECT_FALSE(context.caretRect);
        EXPECT_TRUE(desktop.keys->events().empty());
    }
}

// A program that did not answer in time gets one more try before the copy
// key; the context says why it left the accessibility road.
struct RoadCase {
    const char* name;
    std::vector<platform::accessibility::FocusLookup::Miss> misses;  // look-ups that find nothing
    int unansweredReads;                                              // selection reads that go unanswered
    bool readable;                                                    // the field gives its selected text
    CapturedContext::Method method;
    const char* note;
    int lookUps;  // -1: as many as a second's polls
};

void PrintTo(const RoadCase& c, std::ostream* os) { *os << c.name; }

class CaptureRoadTest : public ContextCaptureTest, public ::testing::WithParamInterface<RoadCase> {};

TEST_P(CaptureRoadTest, AnswersLateOrNeverAndSaysWhichRoad) {
    const RoadCase& c = GetParam();
    auto field = desktop.focusField(42, "Editor", "hola mundo", {5, 5});
    field->setBounds({5, 5}, Rect{100, 50, 60, 16});
    field->setSelectedTextReadable(c.readable);
    field->setUnansweredReads(c.unansweredReads);
    desktop.accessibility->scriptMisses(c.misses);
    const auto context = capture();
    EXPECT_EQ(context.method, c.method);
    EXPECT_EQ(context.selectedText, "mundo");
    EXPECT_EQ(context.roadNote, c.note);
    if (c.lookUps >= 0)
        EXPECT_EQ(desktop.accessibility->lookUps(), c.lookUps);
    else
        EXPECT_GT(desktop.accessibility->lookUps(), 40);
    const bool accessible = c.method == CapturedContext::Method::accessibility;
    EXPECT_EQ(desktop.keys->events().empty(), accessible);
    EXPECT_EQ(context.caretRect.has_value(), accessible);
    EXPECT_EQ(context.selectedRange.has_value(), accessible);
}

using Miss = platform::accessibility::FocusLookup::Miss;
constexpr auto viaAccessibility = CapturedContext::Method::accessibility;
constexpr auto viaCopy = CapturedContext::Method::clipboard;

INSTANTIATE_TEST_SUITE_P(
    Roads, CaptureRoadTest,
    ::testing::Values(
        RoadCase{"AnsweredAtOnce", {}, 0, true, viaAccessibility, "", 1},
        RoadCase{"FocusAnsweredAtTheSecondTry", {Miss::noAnswer}, 0, true, viaAccessibility,
                 ContextCapture::secondTryNote, 2},
        RoadCase{"FocusNeverAnswered", {Miss::noAnswer, Miss::noAnswer}, 0, true, viaCopy,
                 ContextCapture::noAnswerNote, 2},
        RoadCase{"SelectionAnsweredAtTheSecondTry", {}, 1, true, viaAccessibility, ContextCapture::secondTryNote, 1},
        RoadCase{"SelectionNeverAnswered", {}, 4, true, viaCopy, ContextCapture::noAnswerNote, 1},
        RoadCase{"NotOnTheAccessibilityBus", {Miss::notListed}, 0, true, viaCopy,
                 "la app no está en el bus de accesibilidad", 1},
        RoadCase{"FocusBackAfterAMoment", {Miss::nothingFocused, Miss::nothingFocused}, 0, true, viaAccessibility,
                 ContextCapture::focusLateNote, 3},
        RoadCase{"NothingFocusedForASecond", std::vector<Miss>(60, Miss::nothingFocused), 0, true, viaCopy,
                 "ningún elemento de la app tiene el foco", -1},
        RoadCase{"NoSelectedTextToRead", {}, 0, false, viaCopy, ContextCapture::noSelectionNote, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContextCaptureTest, AnEmptySelectionFromAccessibilityNeedsNoCopy) {
    desktop.focusField(42, "Editor", "hola", {4, 0});
    const auto context = capture();
    EXPECT_EQ(context.method, CapturedContext::Method::accessibility);
    EXPECT_EQ(context.selectedText, "");
    EXPECT_TRUE(desktop.keys->events().empty());
}

TEST_F(ContextCaptureTest, WithoutSelectedTextTheCopyKeyReadsItAndThePasteboardComesBack) {
    auto field = desktop.focusField(42, "Editor", "hola mundo", {5, 5});
    field->setSelectedTextReadable(false);
    desktop.pasteboard->setContents(FakeDesktop::userClipboard());
    const auto context = capture();
    EXPECT_EQ(context.method, CapturedContext::Method::clipboard);
    EXPECT_EQ(context.selectedText, "mundo");
    EXPECT_EQ(context.element, field);  // kept
    EXPECT_FALSE(context.selectedRange);  // dropped on this road
    EXPECT_FALSE(context.caretRect);
    EXPECT_EQ(desktop.keys->keys(), (std::vector<Key>{Key::copy}));
    EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
}

// The primary selection outlives the highlight it came from: it stands
// for the selection only where the program shows that same selection;
// otherwise the copy key asks the program.
TEST_F(ContextCaptureTest, ThePrimarySelectionCountsOnlyWhereTheProgramShowsItSelected) {
    using platform::desktop::PrimarySelection;
    struct Case {
        const char* name;
        std::optional<TextRange> selection;  // none: no focused element
        std::optional<PrimarySelection> primary;
        std::string expected;
        bool copyKey;
    };
    const std::vector<Case> cases{
        {"no element, left from minutes ago", std::nullopt, PrimarySelection{"hace minutos", 42}, "", true},
        {"nothing selected now", TextRange{4, 0}, PrimarySelection{"mundo", 42}, "", true},
        {"another stretch selected now", TextRange{0, 4}, PrimarySelection{"mundo entero", 42}, "hola", true},
        {"the selection shown", TextRange{5, 5}, PrimarySelection{"mundo", 42}, "mundo", false},
        {"held by another program", TextRange{5, 5}, PrimarySelection{"otras", 99}, "mundo", true},
        {"owner unknown", TextRange{5, 5}, PrimarySelection{"mundo", std::nullopt}, "mundo", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        desktop.keys->clear();
        desktop.workspace->addApplication({42, "Editor", "org.example.Editor", false});
        desktop.workspace->setFrontmost(42);
        std::shared_ptr<FakeTextField> field;
        if (c.selection) {
            field = std::make_shared<FakeTextField>("hola mundo", *c.selection);
            field->setSelectedTextReadable(false);
        }
        desktop.accessibility->setFocusedElement(42, field);
        desktop.pasteboard->setPrimary(c.primary);
        desktop.pasteboard->setContents(FakeDesktop::userClipboard());
        const auto context = capture();
        EXPECT_EQ(context.selectedText, c.expected);
        EXPECT_EQ(context.method,
                  c.expected.empty() ? CapturedContext::Method::none : CapturedContext::Method::clipboard);
        EXPECT_EQ(desktop.keys->keys(), c.copyKey ? std::vector<Key>{Key::copy} : std::vector<Key>{});
        EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
    }
}

// Control with C interrupts a terminal's program (with Shift too, in some
// terminals): a terminal is never asked to copy.
TEST_F(ContextCaptureTest, ATerminalIsNeverSentACopyKey) {
    auto field = desktop.focusField(42, "Terminal", "$ ls", {2, 2});
    field->setRole(std::string(platform::accessibility::roles::terminal));
    field->setSelectedTextReadable(false);
    const auto context = capture();
    EXPECT_EQ(context.method, CapturedContext::Method::none);
    EXPECT_TRUE(desktop.keys->events().empty());
}

// The caret rectangle's candidates.
struct CaretCase {
    const char* name;
    TextRange range;
    std::vector<std::pair<TextRange, Rect>> bounds;
    std::optional<Rect> expected;
    std::vector<TextRange> asked;
};

void PrintTo(const CaretCase& c, std::ostream* os) { *os << c.name; }

class CaretRectTest : public ::testing::TestWithParam<CaretCase> {};

TEST_P(CaretRectTest, FirstCandidateWithBoundsOnAScreen) {
    const CaretCase& c = GetParam();
    FakeTextField field("0123456789");
    for (const auto& [range, rect] : c.bounds) field.setBounds(range, rect);
    const std::vector<Rect> screens{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    EXPECT_EQ(ContextCapture::caretRect(field, c.range, screens), c.expected);
    EXPECT_EQ(field.boundsRequests(), c.asked);
}

INSTANTIATE_TEST_SUITE_P(
    Candidates, CaretRectTest,
    ::testing::Values(
        CaretCase{"SelectionKeepsItsWidth", {2, 3}, {{{2, 3}, {10, 20, 30, 15}}}, Rect{10, 20, 30, 15}, {{2, 3}}},
        CaretCase{"SelectionTriesOnlyItself", {2, 3}, {{{2, 1}, {10, 20, 30, 15}}}, std::nullopt, {{2, 3}}},
        CaretCase{"CaretWithOwnBoundsGetsWidthOne", {4, 0}, {{{4, 0}, {40, 20, 0, 15}}}, Rect{40, 20, 1, 15},
                  {{4, 0}}},
        CaretCase{"CaretUsesTheNextCharacterLeftEdge", {4, 0}, {{{4, 1}, {40, 20, 8, 15}}}, Rect{40, 20, 1, 15},
                  {{4, 0}, {4, 1}}},
        CaretCase{"CaretUsesThePreviousCharacterRightEdge", {4, 0}, {{{3, 1}, {32, 20, 8, 15}}},
                  Rect{40, 20, 1, 15}, {{4, 0}, {4, 1}, {3, 1}}},
        CaretCase{"CaretAtZeroTriesTheFirstCharacterTwice", {0, 0}, {}, std::nullopt, {{0, 0}, {0, 1}, {0, 1}}},
        CaretCase{"NoHeightIsSkipped", {4, 0}, {{{4, 0}, {40, 20, 0, 0}}, {{4, 1}, {40, 20, 8, 15}}},
                  Rect{40, 20, 1, 15}, {{4, 0}, {4, 1}}},
        CaretCase{"JustTouchingAScreenCounts", {2, 3}, {{{2, 3}, {-30.5, 20, 30, 15}}}, Rect{-30.5, 20, 30, 15},
                  {{2, 3}}},
        CaretCase{"MoreThanOnePointOffEveryScreenIsNone", {2, 3}, {{{2, 3}, {-32, 20, 30, 15}}}, std::nullopt,
                  {{2, 3}}},
        CaretCase{"OnTheSecondScreen", {2, 3}, {{{2, 3}, {2000, 500, 30, 15}}}, Rect{2000, 500, 30, 15}, {{2, 3}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CapturedContextMethod, RawValuesRoundTrip) {
    using Method = CapturedContext::Method;
    EXPECT_EQ(Method(Method::accessibility).rawValue(), "Accesibilidad");
    EXPECT_EQ(Method(Method::clipboard).rawValue(), "⌘C");
    EXPECT_EQ(Method(Method::none).rawValue(), "ninguno");
    for (auto value : Method::allCases()) EXPECT_EQ(Method::fromRawValue(Method(value).rawValue()), Method(value));
    EXPECT_FALSE(Method::fromRawValue("accesibilidad"));
    EXPECT_FALSE(Method::fromRawValue(""));
}

}  // namespace
}  // namespace dictation_test
