#include <gtest/gtest.h>

#include "app/Support/SettingsStore.hpp"
#include "app/Support/Sounds.hpp"
#include "platform/audio/fake/FakeSystemSounds.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"

namespace {

using Parlox::SettingsStore;
using Parlox::Sounds;
using Json = nlohmann::json;

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { previous = platform::UserDefaults::setStandard(defaults); }
    void TearDown() override { platform::UserDefaults::setStandard(previous); }
    std::shared_ptr<platform::InMemoryUserDefaults> defaults = std::make_shared<platform::InMemoryUserDefaults>();
    std::shared_ptr<platform::UserDefaults> previous;
};

// A hand-edited file may hold a text where a boolean belongs: the texts that
// name one count as it, as the settings windows show them.
TEST_F(SettingsTest, FlagsAreTrueUnlessABooleanANumberOrABooleanTextSaysOtherwise) {
    struct Case {
        std::optional<Json> stored;
        bool value;
    };
    const std::vector<Case> cases{{std::nullopt, true},   {Json(false), false},   {Json(true), true},
                                  {Json(0), false},       {Json(1), true},        {Json(0.0), false},
                                  {Json(2), true},        {Json(0.5), true},      {Json("false"), false},
                                  {Json("no"), false},    {Json("No"), false},    {Json("0"), false},
                                  {Json("yes"), true},    {Json("TRUE"), true},   {Json("1"), true},
                                  {Json("quizá"), true},  {Json(""), true},       {Json::array(), true},
                                  {Json::object(), true}};
    for (const char* key : {"soundsEnabled", "screenContext", "showsMenuBarIcon"}) {
        for (const auto& c : cases) {
            if (c.stored)
                defaults->set(key, *c.stored);
            else
                defaults->remove(key);
            const bool read = std::string(key) == "soundsEnabled"   ? SettingsStore::soundsEnabled()
                              : std::string(key) == "screenContext" ? SettingsStore::screenContext()
                                                                    : SettingsStore::showsMenuBarIcon();
            EXPECT_EQ(read, c.value) << key << " = " << (c.stored ? c.stored->dump() : "absent");
        }
    }
}

TEST_F(SettingsTest, CuesPlayTheirSoundsStartingOverAndOnlyWhenEnabled) {
    auto system = std::make_shared<platform::audio::FakeSystemSounds>();
    Sounds sounds(system);
    sounds.play(Sounds::Cue::start);
    sounds.play(Sounds::Cue::start);
    sounds.play(Sounds::Cue::failure);
    using Action = platform::audio::FakeSystemSounds::Action;
    EXPECT_EQ(system->actions(), (std::vector<Action>{{"Tink", "stop", 0},
                                                      {"Tink", "volume", 0.35f},
                                                      {"Tink", "play", 0},
                                                      {"Tink", "stop", 0},
                                                      {"Tink", "volume", 0.35f},
                                                      {"Tink", "play", 0},
                                                      {"Funk", "stop", 0},
                                                      {"Funk", "volume", 0.5f},
                                                      {"Funk", "play", 0}}));
    EXPECT_EQ(system->lookups, 2);  // one sound object per name

    system->clear();
    defaults->set("soundsEnabled", false);
    sounds.play(Sounds::Cue::finish);
    EXPECT_TRUE(system->actions().empty());
    EXPECT_EQ(system->lookups, 2);

    defaults->set("soundsEnabled", "no");  // edited by hand
    sounds.play(Sounds::Cue::finish);
    EXPECT_TRUE(system->actions().empty());

    defaults->remove("soundsEnabled");
    system->missing.insert("Pop");
    sounds.play(Sounds::Cue::finish);
    EXPECT_TRUE(system->actions().empty());
    EXPECT_EQ(Sounds::soundName(Sounds::Cue::finish), "Pop");
}

}  // namespace
