#include <gtest/gtest.h>

#include "DovuzudUza/Core/DecodingOptions.hpp"
#include "DovuzudUza/Core/JsonCoding.hpp"

using namespace DovuzudUza;
using nlohmann::json;

namespace {

json defaultJson() {
    nlohmann::ordered_json written = DecodingOptions();
    return json::parse(written.dump());
}

std::string readFailure(const json& j) {
    try {
        decodingOptionsFromJson(j);
    } catch (const JsonDecodingError& e) {
        return e.message();
    }
    return "no failure";
}

}  // namespace

TEST(DecodingOptions, DefaultsAndResolvedArguments) {
    DecodingOptions defaults;
    EXPECT_EQ(DecodingOptions(DecodingOptions::Arguments{}), defaults);
    EXPECT_FALSE(defaults.detectLanguage);
    EXPECT_TRUE(defaults.suppressTokens.empty());
    EXPECT_EQ(defaults.concurrentWorkerCount, 16);
    EXPECT_EQ(defaults.sampleLength, 224);
    EXPECT_FLOAT_EQ(*defaults.noSpeechThreshold, 0.6f);

    EXPECT_TRUE(DecodingOptions({.usePrefillPrompt = false}).detectLanguage);
    EXPECT_FALSE(DecodingOptions({.usePrefillPrompt = false, .detectLanguage = false}).detectLanguage);
    EXPECT_EQ(DecodingOptions({.concurrentWorkerCount = 0}).concurrentWorkerCount, 0);
    EXPECT_FLOAT_EQ(DecodingOptions({.temperature = -1.0f}).temperature, -1.0f);
}

TEST(DecodingOptions, DefaultJsonOmitsAbsentOptionalsAndWritesThresholds) {
    nlohmann::ordered_json written = DecodingOptions();
    EXPECT_EQ(written.size(), 21u);
    for (const char* key : {"language", "maxInitialTimestamp", "maxWindowSeek", "promptTokens", "prefixTokens",
                            "chunkingStrategy"})
        EXPECT_FALSE(written.contains(key)) << key;
    std::string text = written.dump();
    EXPECT_NE(text.find("\"compressionRatioThreshold\":2.4,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"logProbThreshold\":-1.0,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"firstTokenLogProbThreshold\":-1.5,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"noSpeechThreshold\":0.6,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"task\":{\"transcribe\":{}}"), std::string::npos) << text;
    EXPECT_EQ(text.rfind("{\"verbose\":false,\"task\"", 0), 0u) << text;
}

TEST(DecodingOptions, RoundTripsATableOfRecords) {
    std::vector<DecodingOptions> table{
        DecodingOptions(),
        DecodingOptions({.verbose = true,
                         .task = DecodingTask::translate,
                         .language = "es",
                         .temperature = 0.4f,
                         .maxInitialTimestamp = 1.0f,
                         .maxWindowSeek = 3000,
                         .clipTimestamps = {0.5f, 2.25f, 7.0f},
                         .promptTokens = std::vector<int64_t>{50361, 1, 2},
                         .prefixTokens = std::vector<int64_t>{},
                         .suppressTokens = std::vector<int64_t>{-1, 220},
                         .compressionRatioThreshold = std::nullopt,
                         .noSpeechThreshold = std::nullopt,
                         .concurrentWorkerCount = 4,
                         .chunkingStrategy = ChunkingStrategy::vad}),
        DecodingOptions({.withoutTimestamps = true, .chunkingStrategy = ChunkingStrategy::none}),
    };
    for (const auto& options : table) {
        nlohmann::ordered_json written = options;
        SCOPED_TRACE(written.dump());
        EXPECT_EQ(decodingOptionsFromJson(json::parse(written.dump())), options);
    }
}

TEST(DecodingOptions, ReadingAppliesNoDefaults) {
    json j = defaultJson();
    j.erase("concurrentWorkerCount");
    EXPECT_NE(readFailure(j).find("concurrentWorkerCount"), std::string::npos);

    j = defaultJson();
    j.erase("noSpeechThreshold");
    j["chunkingStrategy"] = nullptr;
    j["unknownKey"] = 3;
    auto read = decodingOptionsFromJson(j);
    EXPECT_FALSE(read.noSpeechThreshold.has_value());
    EXPECT_FALSE(read.chunkingStrategy.has_value());
    EXPECT_FLOAT_EQ(*read.logProbThreshold, -1.0f);

    j = defaultJson();
    j["verbose"] = nullptr;
    EXPECT_THROW(decodingOptionsFromJson(j), JsonDecodingError);
    j = defaultJson();
    j["language"] = 5;
    EXPECT_THROW(decodingOptionsFromJson(j), JsonDecodingError);
    j = defaultJson();
    j["temperature"] = 1e300;  // no 32-bit float holds it
    EXPECT_THROW(decodingOptionsFromJson(j), JsonDecodingError);
    j = defaultJson();
    j["topK"] = 2.5;
    EXPECT_THROW(decodingOptionsFromJson(j), JsonDecodingError);
}

TEST(DecodingOptions, TaskAndChunkingForms) {
    struct Case {
        json task;
        std::string failure;
    };
    std::vector<Case> cases{
        {json::parse(R"({})"), "Invalid number of keys found, expected one."},
        {json::parse(R"({"transcribe":{},"translate":{}})"), "Invalid number of keys found, expected one."},
        {json("transcribe"), "Expected to decode an object but found another value."},
        {json::parse(R"({"translate":{}})"), "no failure"},
    };
    for (const auto& c : cases) {
        json j = defaultJson();
        j["task"] = c.task;
        EXPECT_EQ(readFailure(j), c.failure) << c.task.dump();
    }
    try {
        decodingTaskFromJson(json::parse("{}"), "task");
        FAIL();
    } catch (const JsonDecodingError& e) {
        EXPECT_EQ(e.kind(), JsonDecodingError::Kind::typeMismatch);
    }

    json j = defaultJson();
    j["chunkingStrategy"] = "VAD";
    try {
        decodingOptionsFromJson(j);
        FAIL();
    } catch (const JsonDecodingError& e) {
        EXPECT_EQ(e.kind(), JsonDecodingError::Kind::dataCorrupted);
    }
    EXPECT_EQ(chunkingStrategyFromRawValue("vad"), ChunkingStrategy::vad);
    EXPECT_FALSE(chunkingStrategyFromRawValue("Vad").has_value());
    EXPECT_EQ(description(DecodingTask::translate), "translate");
}

TEST(DecodingOptions, MaxInitialTimestampIndexRefusesWildValues) {
    struct Case {
        std::optional<float> seconds;
        std::optional<int64_t> index;
    };
    std::vector<Case> cases{
        {std::nullopt, std::nullopt},
        {1.0f, 50},
        {0.03f, 1},
        {std::numeric_limits<float>::infinity(), std::nullopt},
        {std::numeric_limits<float>::quiet_NaN(), std::nullopt},
        {3.0e38f, std::nullopt},
    };
    for (const auto& c : cases) {
        DecodingOptions options({.maxInitialTimestamp = c.seconds});
        EXPECT_EQ(options.maxInitialTimestampIndex(), c.index);
    }
}
