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

TEST(AudioInputOptions, WholeFloatsReadAsChannelNumbers) {
    const std::vector<std::pair<std::string, ChannelMode>> cases = {
        {R"({"specificChannel":{"_0":2.0}})", ChannelMode::specificChannel(2)},
        {R"({"specificChannel":{"_0":-0.0}})", ChannelMode::specificChannel(0)},
        {R"({"specificChannel":{"_0":1e1}})", ChannelMode::specificChannel(10)},
        {R"({"sumChannels":{"_0":[0.0,3.0,1]}})", ChannelMode::sumChannels(std::vector<int64_t>{0, 3, 1})},
    };
    for (const auto& [text, mode] : cases) EXPECT_EQ(ChannelMode::fromJSON(json::parse(text)), mode) << text;
    const std::vector<std::pair<std::string, std::string>> refused = {
        {R"({"specificChannel":{"_0":2.5}})", "Parsed JSON number <2.5> does not fit in Int."},
        {R"({"sumChannels":{"_0":[1,0.5]}})", "Parsed JSON number <0.5> does not fit in Int."},
        {R"({"specificChannel":{"_0":1e300}})", "Parsed JSON number <1e+300> does not fit in Int."},
        {R"({"specificChannel":{"_0":true}})", "Expected to decode Int but found another type instead."},
    };
    for (const auto& [text, message] : refused) {
        try {
            ChannelMode::fromJSON(json::parse(text));
            ADD_FAILURE() << text;
        } catch (const AudioInputOptions::DecodingError& e) {
            EXPECT_EQ(e.description(), message) << text;
        }
    }
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
