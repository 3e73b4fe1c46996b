#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "platform/input/CarbonKeyCodes.hpp"
#include "platform/input/CarbonModifiers.hpp"
#include "platform/input/fake/FakeHotKeyService.hpp"
#include "platform/input/fake/FixedUSKeyLayout.hpp"

namespace platform::input {
namespace {

TEST(CarbonKeyCodes, PhysicalPositions) {
    struct Case {
        int carbon;
        int evdev;
        const char* name;
    };
    for (const auto& c : std::vector<Case>{{49, 57, "SPCE"}, {53, 1, "ESC"}, {36, 28, "RTRN"},
                                           {76, 96, "KPEN"}, {0, 30, "AC01"}, {12, 16, "AD01"},
                                           {126, 103, "UP"}, {122, 59, "FK01"}, {114, 110, "INS"}}) {
        SCOPED_TRACE(c.carbon);
        auto key = physicalKeyForCarbon(c.carbon);
        ASSERT_TRUE(key);
        EXPECT_EQ(key->evdevCode, c.evdev);
        EXPECT_EQ(key->xkbName, c.name);
        EXPECT_EQ(carbonKeyCodeForEvdev(c.evdev), c.carbon);
    }
    EXPECT_FALSE(physicalKeyForCarbon(63));  // the function key has no PC counterpart
    EXPECT_FALSE(physicalKeyForCarbon(-1));
    EXPECT_FALSE(carbonKeyCodeForEvdev(500));
}

TEST(CarbonKeyCodes, TableHasNoDuplicatePositions) {
    std::set<int> evdev;
    int keys = 0;
    for (int code = 0; code < 128; ++code) {
        if (auto key = physicalKeyForCarbon(code)) {
            ++keys;
            EXPECT_TRUE(evdev.insert(key->evdevCode).second) << code;
        }
    }
    EXPECT_EQ(keys, 113);
}

TEST(CarbonModifiers, MapToX11AndBack) {
    EXPECT_EQ(x11ModifiersFromCarbon(carbon::option), x11mask::mod1);
    EXPECT_EQ(x11ModifiersFromCarbon(carbon::command | carbon::shift), x11mask::mod4 | x11mask::shift);
    EXPECT_EQ(x11ModifiersFromCarbon(carbon::control | carbon::function), x11mask::control);
    EXPECT_EQ(carbonModifiersFromX11(x11mask::mod1 | x11mask::lock | (1 << 4)), carbon::option);
    EXPECT_EQ(carbonModifiersFromX11(x11mask::control | x11mask::mod4),
              carbon::control | carbon::command);
}

TEST(FakeHotKeyService, RefusesTakenKeysAndDeliversOnePressPerHold) {
    FakeHotKeyService service;
    std::vector<std::pair<std::uint32_t, HotKeyEventKind>> events;
    service.setEventHandler([&](std::uint32_t id, HotKeyEventKind kind) { events.emplace_back(id, kind); });
    service.takeByAnotherClient(49, carbon::option);
    EXPECT_EQ(service.registerHotKey(1, 49, carbon::option).status,
              RegistrationStatus::takenByAnotherClient);
    EXPECT_TRUE(service.registerHotKey(2, 53, 0).ok());
    EXPECT_EQ(service.registerHotKey(3, 53, carbon::function).status,
              RegistrationStatus::alreadyRegistered);
    EXPECT_TRUE(service.press(53, 0));
    EXPECT_FALSE(service.press(53, 0));
    EXPECT_TRUE(service.release(53));
    EXPECT_FALSE(service.press(49, carbon::option));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], std::make_pair(2u, HotKeyEventKind::pressed));
    EXPECT_EQ(events[1], std::make_pair(2u, HotKeyEventKind::released));
}

TEST(FixedUSKeyLayout, AnswersUSCharactersAndOverrides) {
    FixedUSKeyLayout layout;
    EXPECT_EQ(layout.characters(0), "a");
    EXPECT_EQ(layout.characters(50), "`");
    EXPECT_FALSE(layout.characters(122));
    layout.setCharacters(0, std::string("q"));
    EXPECT_EQ(layout.characters(0), "q");
}

}  // namespace
}  // namespace platform::input

#include "platform/input/InputError.hpp"
#include "platform/input/X11HotKeyService.hpp"
#include "platform/input/X11KeyLayout.hpp"

namespace platform::input {
namespace {

TEST(X11Backends, AMissingDisplayIsAnError) {
    for (const char* display : {":987", "nohost.invalid:0"}) {
        SCOPED_TRACE(display);
        try {
            X11HotKeyService service(display);
            FAIL() << "connected to a display that does not exist";
        } catch (const InputError& error) {
            EXPECT_EQ(error.kind(), InputError::Kind::noDisplay);
            EXPECT_NE(error.description().find(display), std::string::npos);
        }
        EXPECT_THROW(X11KeyLayout layout(display), InputError);
    }
}

}  // namespace
}  // namespace platform::input
