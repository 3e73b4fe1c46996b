#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "GlobalKeyBindings/HotKeyCenter.hpp"
#include "platform/input/fake/FakeHotKeyService.hpp"

namespace GlobalKeyBindings {
namespace {

class HotKeyCenterTest : public ::testing::Test {
protected:
    std::shared_ptr<platform::input::FakeHotKeyService> service =
        std::make_shared<platform::input::FakeHotKeyService>();
    std::shared_ptr<HotKeyCenter> center = HotKeyCenter::make(service, nullptr);
    std::vector<std::string> fired;

    std::shared_ptr<HotKey> makeHotKey(std::int64_t code, std::int64_t mods, std::string tag) {
        return std::make_shared<HotKey>(
            code, mods, center->nextHotKeyId(), [this, tag] { fired.push_back(tag + " down"); },
            [this, tag] { fired.push_back(tag + " up"); });
    }
};

TEST_F(HotKeyCenterTest, CodesThatDoNotFitAreRefusedInsteadOfWrappingOntoAnotherKey) {
    for (const auto& [code, mods] : std::vector<std::pair<std::int64_t, std::int64_t>>{
             {(std::int64_t{1} << 32) + 49, 0x800}, {49, (std::int64_t{1} << 32) + 0x800}, {-1, 0}}) {
        auto hotKey = makeHotKey(code, mods, "wide");
        EXPECT_FALSE(center->registerHotKey(hotKey).ok()) << code << " " << mods;
    }
    EXPECT_EQ(service->registerCalls, 0);
    EXPECT_FALSE(service->isRegistered(49, 0x800));
}

TEST_F(HotKeyCenterTest, TheFunctionModifierIsDroppedAndTheRestRegisters) {
    // The keyboard has no function modifier to grab; the rest of the shortcut still works.
    const std::int64_t fn = 0x20000;
    struct Case {
        std::int64_t code, mods;
        int grabbedMods;
    };
    const Case cases[] = {{49, 0x800 | fn, 0x800}, {0, 0x100 | 0x200 | fn, 0x300}, {122, fn, 0}};
    std::vector<std::shared_ptr<HotKey>> kept;
    for (const auto& c : cases) {
        auto hotKey = makeHotKey(c.code, c.mods, std::to_string(c.code));
        EXPECT_TRUE(center->registerHotKey(hotKey).ok()) << c.code;
        EXPECT_TRUE(service->isRegistered(static_cast<int>(c.code), c.grabbedMods)) << c.code;
        EXPECT_TRUE(service->tap(static_cast<int>(c.code), c.grabbedMods)) << c.code;
        kept.push_back(hotKey);
    }
    EXPECT_EQ(fired, (std::vector<std::string>{"49 down", "49 up", "0 down", "0 up", "122 down", "122 up"}));

    // While a menu is open the same keys, which never carry the flag here, fire too.
    fired.clear();
    center->menuDidBeginTracking();
    EXPECT_TRUE(center->handleRawKeyEvent(49, 0x800, false, HotKeyCenter::RawKeyKind::keyDown));
    EXPECT_TRUE(center->handleRawKeyEvent(0, 0x300, false, HotKeyCenter::RawKeyKind::keyDown));
    EXPECT_EQ(fired, (std::vector<std::string>{"49 down", "0 down"}));
}

TEST_F(HotKeyCenterTest, IdsStartAtOne) { EXPECT_EQ(center->nextHotKeyId(), 1u); }

TEST_F(HotKeyCenterTest, RegisteringWhileDisabledPausesAtOnceAndEnablingRegistersAgain) {
    center->setEnabled(false);
    center->updateMode();
    auto hotKey = makeHotKey(49, 0x800, "a");
    ASSERT_TRUE(center->registerHotKey(hotKey).ok());
    EXPECT_EQ(service->registerCalls, 1);
    EXPECT_EQ(service->registeredCount(), 0u);
    EXPECT_FALSE(hotKey->isRegistered());
    center->setEnabled(true);
    center->updateMode();
    EXPECT_TRUE(service->isRegistered(49, 0x800));
    service->tap(49, 0x800);
    EXPECT_EQ(fired, (std::vector<std::string>{"a down", "a up"}));
}

TEST_F(HotKeyCenterTest, AReleasedHotKeyNoLongerFiresAndIsUnregistered) {
    auto hotKey = makeHotKey(49, 0x800, "a");
    ASSERT_TRUE(center->registerHotKey(hotKey).ok());
    hotKey.reset();
    EXPECT_EQ(service->registeredCount(), 0u);
    EXPECT_FALSE(service->tap(49, 0x800));
    EXPECT_TRUE(fired.empty());
}

TEST_F(HotKeyCenterTest, MenuTrackingSwitchesToTheRawKeyPath) {
    auto arrow = makeHotKey(126, 0x1000, "arrow");
    auto space = makeHotKey(49, 0x800, "space");
    ASSERT_TRUE(center->registerHotKey(arrow).ok());
    ASSERT_TRUE(center->registerHotKey(space).ok());
    EXPECT_FALSE(center->handleRawKeyEvent(49, 0x800, false, HotKeyCenter::RawKeyKind::keyDown));

    center->menuDidBeginTracking();
    EXPECT_EQ(center->mode(), HotKeyCenter::Mode::menuOpen);
    EXPECT_EQ(service->registeredCount(), 0u);
    EXPECT_TRUE(center->isRawKeyEventHandlingEnabled());

    using Kind = HotKeyCenter::RawKeyKind;
    EXPECT_TRUE(center->handleRawKeyEvent(49, 0x800 | 0x10000, false, Kind::keyDown));
    EXPECT_FALSE(center->handleRawKeyEvent(49, 0x800, true, Kind::keyDown));  // repeat
    EXPECT_TRUE(center->handleRawKeyEvent(49, 0x800, true, Kind::keyUp));
    // Arrows match with or without the function flag.
    EXPECT_TRUE(center->handleRawKeyEvent(126, 0x1000 | 0x20000, false, Kind::keyDown));
    EXPECT_TRUE(center->handleRawKeyEvent(126, 0x1000, false, Kind::keyDown));
    EXPECT_FALSE(center->handleRawKeyEvent(49, 0x800 | 0x20000, false, Kind::keyDown));
    EXPECT_FALSE(center->handleRawKeyEvent(49, 0, false, Kind::keyDown));
    EXPECT_EQ(fired, (std::vector<std::string>{"space down", "space up", "arrow down", "arrow down"}));

    center->menuDidEndTracking();
    EXPECT_EQ(center->mode(), HotKeyCenter::Mode::normal);
    EXPECT_EQ(service->registeredCount(), 2u);
    EXPECT_FALSE(center->isRawKeyEventHandlingEnabled());
}

TEST_F(HotKeyCenterTest, ARefusedResumeDropsTheKeyAndTellsItsOwner) {
    auto hotKey = makeHotKey(53, 0, "esc");
    int failed = 0;
    hotKey->onRegistrationFailed = [&] { ++failed; };
    ASSERT_TRUE(center->registerHotKey(hotKey).ok());
    center->setEnabled(false);
    center->updateMode();
    service->takeByAnotherClient(53, 0);
    center->setEnabled(true);
    center->updateMode();
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(hotKey->isRegistered());
    center->menuDidBeginTracking();
    EXPECT_FALSE(center->handleRawKeyEvent(53, 0, false, HotKeyCenter::RawKeyKind::keyDown));
}

TEST_F(HotKeyCenterTest, ARefusedRegistrationKeepsNothing) {
    service->takeByAnotherClient(49, 0x800);
    auto hotKey = makeHotKey(49, 0x800, "a");
    const auto result = center->registerHotKey(hotKey);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.status, platform::input::RegistrationStatus::takenByAnotherClient);
    EXPECT_FALSE(hotKey->isRegistered());
}

}  // namespace
}  // namespace GlobalKeyBindings
