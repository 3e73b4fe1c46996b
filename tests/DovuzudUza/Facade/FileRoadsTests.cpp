#include <gtest/gtest.h>

#include <cmath>

#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "FacadeTestSupport.hpp"
#include "FakeEngine.hpp"
#include "platform/audio/fake/WavWriter.hpp"
#include "platform/concurrency/Task.hpp"
#include "tests/support/NoRoomForThreads.hpp"
#include "tests/support/TemporaryFolder.hpp"

using namespace DovuzudUza;
using test_support::FakeEngine;
using State = TranscriptionState;

namespace {

using test_support::messageOf;
using test_support::speechLike;

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        short3 = wav("short.wav", 3);
        long40 = wav("long.wav", 40);
        missing = (tmp.path() / "missing.wav").string();
        engine->setTranscriptionStateCallback([this](TranscriptionState s) {
            std::lock_guard lock(mutex);
            states.push_back(s);
        });
    }
    std::string wav(const char* name, double seconds) {
        const auto path = (tmp.path() / name).string();
        platform::audio::writeWav16(path, speechLike(seconds), 16000, 1);
        return path;
    }
    static AudioInputOptions incremental(double seconds = 10, int64_t buffered = 2) {
        return AudioInputOptions(AudioInputOptions::ChannelMode::sumChannels(),
                                 AudioInputOptions::AudioLoadingMode::makeIncremental(seconds, buffered));
    }
    std::vector<TranscriptionState> seen() {
        std::lock_guard lock(mutex);
        return states;
    }

    parlox::testing::TemporaryFolder tmp;
    std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();
    std::string short3, long40, missing;
    std::mutex mutex;
    std::vector<TranscriptionState> states;
};

double secondsOf(const TranscriptionResults& results) {
    double total = 0;
    for (const auto& r : results)
        for (const auto& s : r->segments()) total += s.end - s.start;
    return total;
}

}  // namespace

TEST_F(Files, ABatchWithAMissingFileGivesOkErrorOkInBothLoadingModes) {
    struct Case {
        AudioInputOptions options;
        std::vector<State> states;
        std::string missingMessage;
    };
    const Case cases[] = {
        {AudioInputOptions(), {State::convertingAudio, State::transcribing, State::finished},
         "Resource path does not exist " + missing},
        {incremental(), {State::transcribing, State::finished}, "Audio file not found at path: " + missing},
    };
    for (const auto& c : cases) {
        states.clear();
        const auto outcomes = engine->transcribeWithResults({short3, missing, long40}, c.options, std::nullopt);
        ASSERT_EQ(outcomes.size(), 3u);
        const auto& first = std::get<TranscriptionResults>(outcomes[0]);
        const auto& third = std::get<TranscriptionResults>(outcomes[2]);
        EXPECT_NEAR(secondsOf(first), 3.0, 0.01);
        EXPECT_NEAR(secondsOf(third), 40.0, 1.1) << "whole, or in pieces that cover it";
        EXPECT_EQ(messageOf(outcomes[1]), c.missingMessage);
        EXPECT_EQ(seen(), c.states);
        const auto optionals = engine->transcribe(std::vector<std::string>{short3, missing, long40}, c.options, std::nullopt);
        EXPECT_TRUE(optionals[0] && !optionals[1] && optionals[2]);
    }
}

TEST_F(Files, WholeFilesCountPositionsAmongTheLoadedOnesAndStoreTheLoadingTime) {
    std::mutex m;
    std::vector<int64_t> windows;
    engine->transcribeWithResults({short3, missing, long40}, AudioInputOptions(), std::nullopt,
                                  [&](const TranscriptionProgress& p) {
                                      std::lock_guard lock(m);
                                      windows.push_back(p.windowId);
                                      return std::optional<bool>();
                                  });
    std::sort(windows.begin(), windows.end());
    // Two files loaded and transcribed; the third path is the second loaded file.
    EXPECT_EQ(windows, (std::vector<int64_t>{0, 1}));
    EXPECT_EQ(engine->runs.load(), 2);
    EXPECT_GT(engine->currentTimings().audioLoading, 0.0);
}

TEST_F(Files, EmptyListsStillReportTheirStates) {
    EXPECT_TRUE(engine->transcribeWithResults(std::vector<std::string>{}, AudioInputOptions(), std::nullopt).empty());
    EXPECT_EQ(seen(), (std::vector<State>{State::convertingAudio, State::transcribing, State::finished}));
    states.clear();
    EXPECT_TRUE(engine->transcribeWithResults(std::vector<std::string>{}, incremental(), std::nullopt).empty());
    EXPECT_EQ(seen(), (std::vector<State>{State::transcribing, State::finished}));
}

TEST_F(Files, IncrementalBatchesFollowTheWorkerCountAndKeepPathOrder) {
    engine->whileTranscribing = [](const std::vector<float>&) { std::this_thread::sleep_for(std::chrono::milliseconds(10)); };
    DecodingOptions options;
    options.concurrentWorkerCount = 2;
    const std::vector<std::string> paths{long40, short3, long40, short3, short3};
    const auto outcomes = engine->transcribeWithResults(paths, incremental(), options);
    ASSERT_EQ(outcomes.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_NEAR(secondsOf(std::get<TranscriptionResults>(outcomes[i])), paths[i] == long40 ? 40.0 : 3.0, 1.1) << i;
    EXPECT_LE(engine->maxInFlight.load(), 2);
    EXPECT_GT(engine->currentTimings().audioProcessing, 0.0);
}

TEST_F(Files, BothLoadingModesWorkOnAnEngineNotHeldBySharedOwnership) {
    DecodingOptions twoAtATime;
    twoAtATime.concurrentWorkerCount = 2;
    for (const auto& decode : {std::optional<DecodingOptions>(), std::optional<DecodingOptions>(twoAtATime)}) {
        for (const auto& options : {AudioInputOptions(), incremental()}) {
            FakeEngine onTheStack;
            const auto outcomes = onTheStack.transcribeWithResults({short3, long40, short3}, options, decode);
            ASSERT_EQ(outcomes.size(), 3u);
            for (size_t i = 0; i < 3; ++i) {
                ASSERT_TRUE(std::holds_alternative<TranscriptionResults>(outcomes[i])) << messageOf(outcomes[i]);
                EXPECT_NEAR(secondsOf(std::get<TranscriptionResults>(outcomes[i])), i == 1 ? 40.0 : 3.0, 1.1) << i;
            }
        }
    }
}

TEST_F(Files, AFileWhoseReaderCannotBeStartedFailsAloneAndNothingIsThrown) {
    if (!parlox::testing::addressSpaceIsOurs) GTEST_SKIP() << "the sanitizers need address space of their own";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            parlox::testing::leaveNoRoomForThreads();
            // Each streamed file needs a reader thread; none can start.
            const auto outcomes = engine->transcribeWithResults({short3, long40}, incremental(), std::nullopt);
            bool each = outcomes.size() == 2;
            for (const auto& outcome : outcomes) {
                each = each && std::holds_alternative<std::exception_ptr>(outcome);
                if (each) std::fprintf(stderr, "[%s]\n", messageOf(outcome).c_str());
            }
            std::_Exit(each ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "\\[Resource temporarily unavailable\\]\n\\[Resource temporarily unavailable\\]");
}

TEST_F(Files, IncrementalRefusesClipTimesForEveryFile) {
    DecodingOptions options;
    options.clipTimestamps = {1.0f};
    const auto outcomes = engine->transcribeWithResults({short3, long40}, incremental(), options);
    for (const auto& outcome : outcomes)
        EXPECT_EQ(messageOf(outcome),
                  "clipTimestamps is not supported with AudioLoadingMode.incremental. Use .fullFile, or transcribe the "
                  "desired range as a separate call.");
    EXPECT_EQ(engine->runs.load(), 0);
}

TEST_F(Files, OneFileReportsItsStatesOnEveryRoad) {
    struct Case {
        std::string path;
        AudioInputOptions options;
        bool failTranscription;
        std::optional<DecodingOptions> decode;
        std::vector<State> states;
        bool throws;
    };
    DecodingOptions clipped;
    clipped.clipTimestamps = {2.0f};
    const Case cases[] = {
        {short3, AudioInputOptions(), false, std::nullopt, {State::convertingAudio, State::transcribing, State::finished}, false},
        {missing, AudioInputOptions(), false, std::nullopt, {State::convertingAudio}, true},
        {short3, AudioInputOptions(), true, std::nullopt, {State::convertingAudio, State::transcribing, State::finished}, true},
        {long40, incremental(), false, std::nullopt, {State::transcribing, State::finished}, false},
        {long40, incremental(), true, std::nullopt, {State::transcribing, State::finished}, true},
        {long40, incremental(), false, clipped, {}, true},
        {missing, incremental(), false, std::nullopt, {}, true},
        {short3, incremental(0), false, std::nullopt, {}, true},
    };
    for (const auto& c : cases) {
        states.clear();
        engine->whileTranscribing = [&](const std::vector<float>&) {
            if (c.failTranscription) throw WhisperError(WhisperError::Kind::transcriptionFailed, "Encoder output is nil");
        };
        if (c.throws) {
            EXPECT_THROW(engine->transcribe(c.path, c.options, c.decode), platform::Error);
        } else {
            EXPECT_FALSE(engine->transcribe(c.path, c.options, c.decode).empty());
        }
        EXPECT_EQ(seen(), c.states) << c.path;
    }
}

TEST_F(Files, StreamedPiecesAreMovedToTheirPlaceInTheFile) {
    const auto path = wav("seventy.wav", 70);
    const auto results = engine->transcribe(path, incremental(30, 1), std::nullopt);
    ASSERT_GE(results.size(), 3u);
    float end = 0;
    for (const auto& result : results) {
        ASSERT_TRUE(result->seekTime().has_value());
        const auto segment = result->segments().at(0);
        EXPECT_FLOAT_EQ(segment.start, *result->seekTime());
        EXPECT_EQ(segment.seek, std::lround(*result->seekTime() * 16000));
        EXPECT_NEAR(segment.start, end, 1.01f) << "pieces follow one another";
        end = segment.end;
    }
    EXPECT_NEAR(end, 70.0f, 1.01f);
    EXPECT_GT(engine->currentTimings().audioLoading, 0.0);
}

TEST_F(Files, AFailingPieceEndsTheFileAfterSignallingIt) {
    const auto path = wav("seventy.wav", 70);
    std::atomic<int> count{0};
    engine->whileTranscribing = [&](const std::vector<float>&) {
        if (++count == 3) throw WhisperError(WhisperError::Kind::transcriptionFailed, "third piece");
    };
    try {
        engine->transcribe(path, incremental(30, 1), std::nullopt);
        FAIL() << "the third piece's error ends the call";
    } catch (const WhisperError& error) {
        EXPECT_EQ(error.message(), "third piece");
    }
    EXPECT_EQ(count.load(), 3) << "with one slot, each piece waits for the one before it";
    EXPECT_EQ(seen(), (std::vector<State>{State::transcribing, State::finished}));
}
