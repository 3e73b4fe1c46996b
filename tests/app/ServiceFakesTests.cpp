// The fakes the dictation tests stand on behave like the services they replace.
#include <gtest/gtest.h>

#include "app/Transcription/fake/FakeTranscriber.hpp"
#include "platform/accessibility/fake/FakeAccessibility.hpp"
#include "platform/audio/fake/FakeSystemSounds.hpp"
#include "platform/desktop/fake/FakeLoginItem.hpp"
#include "platform/desktop/fake/FakeNotifier.hpp"
#include "platform/desktop/fake/FakePasteboard.hpp"
#include "platform/desktop/fake/FakePowerAssertion.hpp"
#include "platform/desktop/fake/FakeSystemSettings.hpp"
#include "platform/desktop/fake/FakeUpdateService.hpp"
#include "platform/desktop/fake/FakeWindowScreenshot.hpp"
#include "platform/desktop/fake/FakeWorkspace.hpp"
#include "platform/input/fake/FakeKeySynth.hpp"

namespace {

using platform::accessibility::FakeTextField;
using platform::accessibility::TextRange;

TEST(FakeTextField, PasteReplacesTheSelectionCountingUtf16Units) {
    // "a😀b" is 4 UTF-16 units; select the emoji (2 units).
    FakeTextField field("a😀b", {1, 2});
    EXPECT_EQ(field.selectedText(), "😀");
    ASSERT_TRUE(field.paste("xyz"));
    EXPECT_EQ(field.text(), "axyzb");
    EXPECT_EQ(field.selection(), (TextRange{4, 0}));
    ASSERT_TRUE(field.undo());
    EXPECT_EQ(field.text(), "a😀b");
    EXPECT_EQ(field.selection(), (TextRange{1, 2}));
    EXPECT_FALSE(field.setSelectedTextRange({3, 2}));  // past the end
}

TEST(FakeTextField, DeleteBackwardTakesTheSelectionOrTheCharacterBeforeTheCaret) {
    FakeTextField field("hola😀", {6, 0});
    field.deleteBackward();
    EXPECT_EQ(field.text(), "hola");
    field.setText("hola mundo", {4, 6});
    field.deleteBackward();
    EXPECT_EQ(field.text(), "hola");
}

TEST(FakePasteboard, ALateCopyLandsOnTheArmedChangeCountRead) {
    platform::desktop::FakePasteboard pasteboard;
    const auto before = pasteboard.changeCount();
    pasteboard.copyOnChangeCountRead(3, "tarde");
    EXPECT_EQ(pasteboard.changeCount(), before);
    EXPECT_EQ(pasteboard.changeCount(), before);
    EXPECT_GT(pasteboard.changeCount(), before);
    EXPECT_EQ(pasteboard.string(), "tarde");
}

TEST(FakeWorkspace, ActivationCanLagOrBeRefused) {
    platform::desktop::FakeWorkspace workspace;
    workspace.addApplication({42, "Editor", "editor", false});
    workspace.addApplication({43, "Otro", "otro", false});
    workspace.setFrontmost(43);
    workspace.setActivation(platform::desktop::FakeWorkspace::Activation::afterChecks, 2);
    EXPECT_TRUE(workspace.activate(42));
    // Either kind of check counts.
    EXPECT_EQ(workspace.frontmostProcessId(), 43);
    EXPECT_EQ(workspace.frontmostApplication()->processIdentifier, 42);
    workspace.setActivation(platform::desktop::FakeWorkspace::Activation::refused);
    workspace.setFrontmost(43);
    workspace.activate(42);
    EXPECT_EQ(workspace.frontmostApplication()->processIdentifier, 43);
    EXPECT_FALSE(workspace.activate(99));  // no such application
}

TEST(FakeKeySynth, NeverUndoesInATerminal) {
    platform::input::FakeKeySynth keys;
    EXPECT_FALSE(keys.undo(platform::input::KeyTarget::terminal));
    EXPECT_TRUE(keys.undo(platform::input::KeyTarget::ordinary));
    EXPECT_EQ(keys.keys(), (std::vector<platform::input::FakeKeySynth::Key>{platform::input::FakeKeySynth::Key::undo}));
}

TEST(FakeTranscriber, ThrowsUntilReadyThenAnswersInOrder) {
    Parlox::FakeTranscriber transcriber;
    std::vector<Parlox::Transcriber::State> states;
    auto connection = transcriber.stateChanged().connect([&](const auto& state) { states.push_back(state); });
    EXPECT_THROW(transcriber.transcribe(std::vector<float>(16000)), Parlox::Transcriber::TranscriberError);
    transcriber.statesOnPrepare = {Parlox::Transcriber::State::loading(), Parlox::Transcriber::State::ready()};
    transcriber.prepare();
    EXPECT_EQ(states, (std::vector{Parlox::Transcriber::State::loading(), Parlox::Transcriber::State::ready()}));
    transcriber.answer("uno");
    auto result = transcriber.transcribe(std::vector<float>(24000));
    EXPECT_EQ(result.text, "uno");
    EXPECT_DOUBLE_EQ(result.audioSeconds, 1.5);
    EXPECT_EQ(Parlox::Transcriber::State::downloading(0.5), Parlox::Transcriber::State::downloading(0.5));
    EXPECT_NE(Parlox::Transcriber::State::downloading(0.5), Parlox::Transcriber::State::downloading(0.25));
    EXPECT_NE(Parlox::Transcriber::State::failed("a"), Parlox::Transcriber::State::failed("b"));
}

}  // namespace
