#include <gtest/gtest.h>

#include "DecodingTestSupport.hpp"

using namespace DovuzudUza;
using namespace DovuzudUza::decoding_test;
using platform::ml::Half;

namespace {

struct Window {
    std::shared_ptr<TranscribeTask> task;
    std::shared_ptr<DecodingInputsType> inputs;
    std::optional<std::string> language;

    Window(ScriptedDecoder& scripted, const DecodingOptions& options)
        : task(makeTask(scripted)), inputs(preparedInputs(*scripted.decoder, options)) {}

    DecodingResult decode(const DecodingOptions& options) {
        return task->decodeWithFallback(encoderOutput(), options, inputs, language, nullptr);
    }
};

std::vector<float> floats(const std::vector<Half>& halves) {
    std::vector<float> values;
    for (auto h : halves) values.push_back(h.toFloat());
    return values;
}

}  // namespace

TEST(TemperatureFallback, ScheduleIsRoundedToHalfPrecisionAtEveryStep) {
    DecodingOptions options;
    EXPECT_EQ(floats(TranscribeTask::temperatureSchedule(options)),
              (std::vector<float>{0.0f, 0.199951171875f, 0.39990234375f, 0.599609375f, 0.7998046875f, 1.0f}));
    options.temperature = 0.3f;
    options.temperatureIncrementOnFallback = 0.3f;
    options.temperatureFallbackCount = 2;
    // 0.3 is 0.300048828125 in half precision; 2 x it + it rounds (a tie) to 0.900390625.
    EXPECT_EQ(floats(TranscribeTask::temperatureSchedule(options)),
              (std::vector<float>{0.300048828125f, 0.60009765625f, 0.900390625f}));
    options.temperatureFallbackCount = -1;
    EXPECT_TRUE(TranscribeTask::temperatureSchedule(options).empty());
}

TEST(TemperatureFallback, ARepeatingFirstAttemptFallsBackOnceToTheSecondTemperature) {
    // Attempt 0 repeats one token to the limit; attempt 1 says "Hola mundo".
    ScriptedDecoder scripted(Attempts{std::vector<int64_t>(300, hola()), {hola(), mundo()}});
    LogCapture log;
    Window window(scripted, roadOptions());
    const auto result = window.decode(roadOptions());

    EXPECT_EQ(scripted.attempts, 2);
    EXPECT_EQ(result.text, "<|startoftranscript|><|es|><|transcribe|><|notimestamps|> Hola mundo<|endoftext|>");
    EXPECT_EQ(result.temperature, 0.2f);
    EXPECT_FALSE(result.fallback.has_value());
    const auto lines = log.texts();
    EXPECT_EQ(countOf(lines, "Fallback #"), 1u);
    EXPECT_TRUE(contains(lines, "Fallback #1 (compressionRatioThreshold)"));
    EXPECT_TRUE(contains(lines, "Decoding with temperatures [0.0, 0.2, 0.4, 0.5996, 0.8, 1.0]"));
    EXPECT_TRUE(contains(lines, "Decoding Temperature: 0.0"));
    EXPECT_TRUE(contains(lines, "Decoding Temperature: 0.2"));
    const auto timings = window.task->timings();
    EXPECT_EQ(timings.totalDecodingFallbacks, 0);  // the index of the attempt that fell back
    EXPECT_GT(timings.decodingFallback, 0);
    EXPECT_EQ(timings.totalDecodingLoops, 223 + 6);
    EXPECT_EQ(window.language, "es");
    // The second attempt started from a rewound cache.
    const auto steps = scripted.recorded();
    EXPECT_EQ(steps[223].cacheLength, 0);
    EXPECT_EQ(steps[223].paddingMask[1], -10000.0f);
}

TEST(TemperatureFallback, TheLastAttemptIsReturnedEvenWhenItAsksForMore) {
    struct Case {
        int64_t fallbackCount;
        int64_t goodAttempt;  // the first attempt that does not ask; -1: none does
        int64_t attempts;
        double totalFallbacks;
        size_t lines;
    };
    for (const auto& c : {Case{0, -1, 1, 0, 1}, Case{5, 2, 3, 1, 2}, Case{2, -1, 3, 2, 3}}) {
        Attempts script;
        for (int64_t a = 0; a <= c.fallbackCount; ++a)
            script.push_back(a == c.goodAttempt ? std::vector<int64_t>{hola()} : std::vector<int64_t>(300, mundo()));
        ScriptedDecoder scripted(script);
        LogCapture log;
        auto options = roadOptions();
        options.temperatureFallbackCount = c.fallbackCount;
        options.sampleLength = 40;  // 40 repeats are as compressible, and quicker
        Window window(scripted, options);
        const auto result = window.decode(options);
        EXPECT_EQ(scripted.attempts, c.attempts) << c.fallbackCount;
        EXPECT_EQ(window.task->timings().totalDecodingFallbacks, c.totalFallbacks) << c.fallbackCount;
        EXPECT_EQ(countOf(log.texts(), "Fallback #"), c.lines) << c.fallbackCount;
        EXPECT_EQ(result.fallback.has_value() && result.fallback->needsFallback, c.goodAttempt < 0) << c.fallbackCount;
    }
    // No attempt at all: nothing to return.
    ScriptedDecoder scripted(Attempts{{hola()}});
    auto options = roadOptions();
    options.temperatureFallbackCount = -1;
    Window window(scripted, options);
    EXPECT_EQ(whisperError([&] { window.decode(options); }), WhisperError::decodingFailed("Decoding failed"));
}

TEST(TemperatureFallback, SilenceEndsTheAttemptsLikeAnAcceptedResult) {
    ScriptedDecoder scripted(Attempts{std::vector<int64_t>(300, mundo()), {hola()}});
    auto options = roadOptions();
    options.noSpeechThreshold = -0.1f;  // the decoder's no-speech probability is always 0
    Window window(scripted, options);
    const auto result = window.decode(options);
    EXPECT_EQ(scripted.attempts, 1);
    EXPECT_EQ(*result.fallback, (DecodingFallback{false, "silence"}));
}

TEST(TemperatureFallback, DetectionRunsOnlyOnAMultilingualModelWithoutALanguage) {
    auto options = roadOptions();
    options.language = std::nullopt;
    options.detectLanguage = true;
    {
        // Detection picks Spanish at the start step and the prompt is rebuilt with it.
        ScriptedDecoder scripted(Attempts{{es()}, {hola()}});
        scripted.promptLength = 1;  // the detection step sees the script's first token
        LogCapture log;
        Window window(scripted, options);
        window.language = "fr";
        const auto result = window.decode(options);
        EXPECT_EQ(window.language, "es");
        EXPECT_EQ(window.inputs->initialPrompt()[1], es());
        EXPECT_TRUE(contains(log.texts(),
                             "Prefill prompt updated to: [\"<|startoftranscript|>\", \"<|es|>\", \"<|transcribe|>\", "
                             "\"<|notimestamps|>\"]"));
        EXPECT_EQ(result.language, "es");
        EXPECT_GT(window.task->timings().decodingSampling, 0);
    }
    {
        // A failing detection is dropped: decoding goes on and its language is kept.
        ScriptedDecoder scripted(Attempts{{hola()}});
        Window window(scripted, options);
        bool failed = false;
        scripted.model->setCallback([&](const FeatureProvider& in) {
            if (!failed) {  // only the first prediction, the detection's, fails
                failed = true;
                throw std::runtime_error("detection step failed");
            }
            return scripted.predict(in);
        });
        const auto result = window.decode(options);
        EXPECT_EQ(window.language, "en");  // from the decoded prompt's language token
        EXPECT_EQ(result.tokens.back(), special().endToken);
    }
    {
        // Not multilingual: no detection, the prompt stays.
        ScriptedDecoder scripted(Attempts{{hola()}});
        scripted.decoder->setIsModelMultilingual(false);
        Window window(scripted, options);
        const auto before = window.inputs->initialPrompt();
        window.decode(options);
        EXPECT_EQ(window.inputs->initialPrompt(), before);
        EXPECT_EQ(scripted.attempts, 1);  // no extra start-step prediction
    }
}
