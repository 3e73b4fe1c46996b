#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "platform/concurrency/MainRunLoop.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"
#include "platform/input/fake/FakeHotKeyService.hpp"
#include "platform/input/fake/FakeSystemShortcuts.hpp"
#include "platform/input/fake/FixedUSKeyLayout.hpp"

namespace GlobalKeyBindings::testing {

inline constexpr int kOption = 0x800;
inline constexpr int kCommand = 0x100;
inline constexpr int kShift = 0x200;

// The module installed on fakes: in-memory defaults, scripted hot keys, a US
// layout and an editable list of desktop shortcuts.
class BindingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::MainQueue::shared().bindToCurrentThread();
        install(Environment{defaults, service, layout, system});
        changes = shortcutByNameDidChange().connect(
            [this](const Name& name) { changed.push_back(name.rawValue); });
    }
    void TearDown() override {
        uninstall();
        platform::MainRunLoop::drainMain();
    }

    std::shared_ptr<platform::InMemoryUserDefaults> defaults =
        std::make_shared<platform::InMemoryUserDefaults>();
    std::shared_ptr<platform::input::FakeHotKeyService> service =
        std::make_shared<platform::input::FakeHotKeyService>();
    std::shared_ptr<platform::input::FixedUSKeyLayout> layout =
        std::make_shared<platform::input::FixedUSKeyLayout>();
    std::shared_ptr<platform::input::FakeSystemShortcuts> system =
        std::make_shared<platform::input::FakeSystemShortcuts>();
    std::vector<std::string> changed;
    platform::Connection changes;
};

inline const Shortcut kOptionSpace{Key::space, ModifierFlags::option};
inline const Shortcut kEscape{Key::escape, ModifierFlags()};
inline const Shortcut kReturn{Key::return_, ModifierFlags()};
inline const Shortcut kKeypadEnter{Key::keypadEnter, ModifierFlags()};

// The dictation hot key, and a name that has no initial shortcut.
inline const Name kToggle("toggleRecording", kOptionSpace);
inline const Name kPlain("plain");

}  // namespace GlobalKeyBindings::testing
