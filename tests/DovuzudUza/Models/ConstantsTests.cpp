#include <gtest/gtest.h>

#include "DovuzudUza/Core/Constants.hpp"

using namespace DovuzudUza;

TEST(Constants, LanguageTableHas112NamesAnd100Codes) {
    EXPECT_EQ(Constants::languages().size(), 112u);
    EXPECT_EQ(Constants::languageCodes().size(), 100u);
    EXPECT_EQ(Constants::languages().at("castilian"), "es");
    EXPECT_EQ(Constants::languages().at("spanish"), "es");
    EXPECT_EQ(Constants::languages().at("moldavian"), "ro");
    EXPECT_EQ(Constants::languages().at("moldovan"), "ro");
    EXPECT_EQ(Constants::languages().at("javanese"), "jw");
    EXPECT_EQ(Constants::languages().at("haitian creole"), "ht");
    EXPECT_TRUE(Constants::languageCodes().count("haw"));
    EXPECT_TRUE(Constants::languageCodes().count("yue"));
    EXPECT_FALSE(Constants::languages().count("Spanish"));
}

TEST(Constants, FixedValues) {
    EXPECT_EQ(Constants::defaultLanguageCode, "en");
    EXPECT_EQ(Constants::defaultWindowSamples, 480000);
    EXPECT_EQ(Constants::maxTokenContext, 224);
    EXPECT_EQ(Constants::defaultAudioReadFrameSize, 1323000);
    // Byte lengths guard against an encoding slip in the punctuation sets.
    EXPECT_EQ(Constants::defaultPrependPunctuations.size(), 13u);
    EXPECT_EQ(Constants::defaultAppendPunctuations.size(), 31u);
    EXPECT_EQ(Constants::defaultRemoteConfigName, "config.json");
}

TEST(Constants, TrimmingSpecialTokenCharacters) {
    EXPECT_EQ(Constants::trimmingSpecialTokenCharacters("<|en|>"), "en");
    EXPECT_EQ(Constants::trimmingSpecialTokenCharacters("<|startoftranscript|>"), "startoftranscript");
    EXPECT_EQ(Constants::trimmingSpecialTokenCharacters("<||>"), "");
}
