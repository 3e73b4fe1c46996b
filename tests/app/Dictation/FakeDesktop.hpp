#pragma once

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Support/DesktopServices.hpp"
#include "platform/accessibility/fake/FakeAccessibility.hpp"
#include "platform/concurrency/fake/ManualScheduler.hpp"
#include "platform/desktop/fake/FakePasteboard.hpp"
#include "platform/desktop/fake/FakeWorkspace.hpp"
#include "platform/input/fake/FakeKeySynth.hpp"
#include "platform/input/fake/FakeKeyboardState.hpp"

namespace dictation_test {

using platform::accessibility::FakeTextField;
using platform::accessibility::TextRange;
using platform::desktop::PasteboardItem;

// A desktop on fakes in which synthetic keys act: the focused field of the
// application in front pastes the pasteboard's text, copies its selection
// (only when something is selected), deletes and undoes. While one of the
// shortcut keys is down on the keyboard, its grab takes every synthetic key
// and nothing acts.
struct FakeDesktop {
    // Escape and the default dictation shortcut's Space, in Carbon key codes.
    static constexpr int escapeKey = 53, shortcutKey = 49;

    std::shared_ptr<platform::ManualScheduler> scheduler = std::make_shared<platform::ManualScheduler>();
    std::shared_ptr<platform::accessibility::FakeAccessibility> accessibility =
        std::make_shared<platform::accessibility::FakeAccessibility>();
    std::shared_ptr<platform::desktop::FakeWorkspace> workspace = std::make_shared<platform::desktop::FakeWorkspace>();
    std::shared_ptr<platform::desktop::FakePasteboard> pasteboard =
        std::make_shared<platform::desktop::FakePasteboard>();
    std::shared_ptr<platform::input::FakeKeySynth> keys = std::make_shared<platform::input::FakeKeySynth>();
    std::shared_ptr<platform::input::FakeKeyboardState> keyboard =
        std::make_shared<platform::input::FakeKeyboardState>();
    std::vector<int> shortcutKeys{escapeKey, shortcutKey};

    FakeDesktop() {
        keys->setHandler([this](const platform::input::FakeKeySynth::Event& event) {
            act(event);
            if (afterKey) afterKey(event);
        });
    }
    // What the test left queued would otherwise keep the scheduler alive.
    ~FakeDesktop() { scheduler->discardPending(); }
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    Parlox::DesktopServices services() const {
        return {scheduler, accessibility, workspace, pasteboard, keys, keyboard, shortcutKeys};
    }

    // What the user does right after the program acted on a key.
    std::function<void(const platform::input::FakeKeySynth::Event&)> afterKey;

    // An application in front whose focused field holds `text` with `selection`.
    std::shared_ptr<FakeTextField> focusField(int32_t pid, const std::string& app, const std::string& text,
                                              TextRange selection) {
        auto field = std::make_shared<FakeTextField>(text, selection);
        field->setBounds(selection, platform::Rect{200, 300, 40, 18});
        workspace->addApplication({pid, app, "org.example." + app, false});
        workspace->setFrontmost(pid);
        accessibility->setFocusedElement(pid, field);
        return field;
    }

    std::shared_ptr<FakeTextField> focused() {
        auto front = workspace->frontmostApplication();
        if (!front) return nullptr;
        return std::dynamic_pointer_cast<FakeTextField>(accessibility->focusedElement(front->processIdentifier));
    }

    // What the user had copied before: two types on one item.
    static std::vector<PasteboardItem> userClipboard() {
        return {PasteboardItem{{{"text/plain;charset=utf-8", "portapapeles del usuario"},
                                {"text/html", "<b>portapapeles del usuario</b>"}}}};
    }

private:
    void act(const platform::input::FakeKeySynth::Event& event) {
        using Key = platform::input::FakeKeySynth::Key;
        if (keyboard->isAnyDown(shortcutKeys)) return;
        auto field = focused();
        if (!field) return;
        switch (event.key) {
            case Key::paste: {
                // A terminal's paste key pastes the primary selection.
                const int32_t reader = workspace->frontmostApplication()->processIdentifier;
                const auto text = event.target == platform::input::KeyTarget::terminal
                                      ? pasteboard->deliverPrimary(reader)
                                      : pasteboard->deliver(reader);
                if (text) field->paste(*text);
                break;
            }
            case Key::copy:
                if (field->selection().length > 0) pasteboard->receiveCopy(field->selectionText());
                break;
            case Key::undo:
                field->undo();
                break;
            case Key::deleteBackward:
                field->deleteBackward();
                break;
            case Key::nudgePointer:
                break;
        }
    }
};

// Mono samples of a 440 Hz tone whose RMS level is `dbfs` (silence for minus infinity).
inline std::vector<float> tone(double seconds, double dbfs, double rate = 48000) {
    std::vector<float> samples(static_cast<size_t>(seconds * rate));
    const double amplitude = std::isinf(dbfs) ? 0.0 : std::pow(10.0, dbfs / 20.0) * std::sqrt(2.0);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<float>(amplitude * std::sin(2 * M_PI * 440.0 * static_cast<double>(i) / rate));
    return samples;
}

}  // namespace dictation_test
