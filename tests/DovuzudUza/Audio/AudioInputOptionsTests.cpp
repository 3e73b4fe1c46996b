#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "DovuzudUza/Core/Audio/AudioInputOptions.hpp"

using namespace DovuzudUza;
using ChannelMode = AudioInputOptions::ChannelMode;
using json = nlohmann::json;

TEST(AudioInputOptions, ChannelModesRoundTripThroughTheirKeyedForm) {
    const std::vector<std::pair<ChannelMode, std::string>> cases = {
        {ChannelMode::specificChannel(3), R"({"specificChannel":{"_0":3}})"},
        {ChannelMode::sumChannels(), R"({"sumChannels":{}})"},
        {ChannelMode::sumChannels(std::vector<int64_t>{}), R"({"sumChannels":{"_0":[]}})"},
        {ChannelMode::sumChannels(std::vector<int64_t>{0, 2}), R"({"sumChannels":{"_0":[0,2]}})"},
    };
    for (const auto& [mode, text] : cases) {
        EXPECT_EQ(mode.toJSON().dump(), text);
        EXPECT_EQ(ChannelMode::fromJSON(json::parse(text)), mode) << text;
    }
    // An unknown key beside a known one is ignored.
    EXPECT_EQ(ChannelMode::fromJSON(json::parse(R"({"sumChannels":{},"other":1})")), ChannelMode::sumChannels());
}

TEST(AudioInputOptions, MalformedChannelModesFailToDecode) {
    for (const char* text : {R"({"specificChannel":{"_0":1},"sumChannels":{}})", R"({})", R"({"other":{}})"}) {
        try {
            ChannelMode::fromJSON(json::parse(text));
            ADD_FAILURE() << text;
        } catch (const AudioInputOptions::DecodingError& e) {
            EXPECT_EQ(e.description(), "Invalid number of keys found, expected one.");
        }
    }
    EXPECT_THROW(ChannelMode::fromJSON(json::parse(R"({"specificChannel":{}})")), AudioInputOptions::DecodingError);
    EXPECT_THROW(ChannelMode::fromJSON(json::parse(R"({"specificChannel":{"_0":"x"}})")), AudioInputOptions::DecodingError);
}

TEST(AudioInputOptions, DefaultsAndEquality) {
    const AudioInputOptions options;
    EXPECT_EQ(options.channelMode, ChannelMode::sumChannels());
    EXPECT_EQ(options.audioLoadingMode, AudioInputOptions::AudioLoadingMode::fullFile());
    const auto incremental = AudioInputOptions::AudioLoadingMode::incremental();
    EXPECT_EQ(incremental.kind, AudioInputOptions::AudioLoadingMode::Kind::incremental);
    EXPECT_EQ(incremental.chunkDurationSeconds, 120.0);
    EXPECT_EQ(incremental.maxBufferedChunks, 2);
    EXPECT_NE(ChannelMode::sumChannels(), ChannelMode::sumChannels(std::vector<int64_t>{}));
    EXPECT_NE(std::hash<ChannelMode>()(ChannelMode::specificChannel(0)), std::hash<ChannelMode>()(ChannelMode::specificChannel(1)));
}
