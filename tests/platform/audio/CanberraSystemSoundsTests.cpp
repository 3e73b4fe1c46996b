#include <gtest/gtest.h>

#include "platform/audio/CanberraSystemSounds.hpp"
#include "tests/support/TemporaryFolder.hpp"

using platform::audio::CanberraSystemSounds;
using parlox::testing::TemporaryFolder;

namespace {

TEST(CanberraSystemSounds, CuesMapToThemeSounds) {
    EXPECT_EQ(CanberraSystemSounds::eventId("Tink"), "audio-volume-change");
    EXPECT_EQ(CanberraSystemSounds::eventId("Pop"), "complete");
    EXPECT_EQ(CanberraSystemSounds::eventId("Funk"), "dialog-error");
    EXPECT_EQ(CanberraSystemSounds::eventId("tink"), std::nullopt);
    EXPECT_EQ(CanberraSystemSounds::eventId("Basso"), std::nullopt);
}

TEST(CanberraSystemSounds, ASoundWhoseThemeFileIsMissingIsNone) {
    TemporaryFolder data;
    data.writeFile("sounds/freedesktop/stereo/complete.oga", "OggS");
    CanberraSystemSounds sounds({data.path()});
    EXPECT_EQ(sounds.themeFile("complete"), data / "sounds/freedesktop/stereo/complete.oga");
    EXPECT_EQ(sounds.themeFile("dialog-error"), std::nullopt);
    EXPECT_NE(sounds.named("Pop"), nullptr);
    EXPECT_EQ(sounds.named("Funk"), nullptr);
    EXPECT_EQ(sounds.named("Basso"), nullptr);
}

}  // namespace
