#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <set>

#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "FacadeTestSupport.hpp"
#include "FakeEngine.hpp"
#include "platform/concurrency/ConcurrentWork.hpp"
#include "platform/concurrency/Task.hpp"
#include "tests/DovuzudUza/Models/LogCapture.hpp"
#include "tests/support/NoRoomForThreads.hpp"

using namespace DovuzudUza;
using test_support::FakeEngine;

namespace {

using test_support::messageOf;

std::vector<float> silence(size_t n) { return std::vector<float>(n, 0.0f); }

// Speech-like bursts (a loud tone) at the given seconds; silence elsewhere.
std::vector<float> bursts(double seconds, const std::vector<std::pair<double, double>>& spans) {
    std::vector<float> audio(static_cast<size_t>(seconds * 16000), 0.0f);
    for (const auto& [from, to] : spans)
        for (auto i = static_cast<size_t>(from * 16000); i < static_cast<size_t>(to * 16000) && i < audio.size(); ++i)
            audio[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 440.0 * static_cast<double>(i) / 16000.0));
    return audio;
}

DecodingOptions withWorkers(int64_t workers, std::optional<ChunkingStrategy> strategy = std::nullopt) {
    DecodingOptions options;
    options.concurrentWorkerCount = workers;
    options.chunkingStrategy = strategy;
    return options;
}

const TranscriptionResults& resultsOf(const TranscriptionOutcome& outcome) {
    return std::get<TranscriptionResults>(outcome);
}

// Holds the first `count` transcriptions until all of them have arrived;
// later ones pass. (A minute without them is a hang, and the counts show it.)
std::function<void(const std::vector<float>&)> gather(int count) {
    auto state = std::make_shared<std::pair<std::mutex, std::condition_variable>>();
    auto arrived = std::make_shared<int>(0);
    return [=](const std::vector<float>&) {
        std::unique_lock lock(state->first);
        ++*arrived;
        state->second.notify_all();
        state->second.wait_for(lock, std::chrono::seconds(60), [&] { return *arrived >= count; });
    };
}

}  // namespace

// --- One array ---------------------------------------------------------------

TEST(SingleArrayRoad, LongAudioIsChunkedOnlyWhenTheOptionsAskForIt) {
    struct Case {
        size_t samples;
        std::optional<DecodingOptions> options;
        bool chunked;
    };
    const Case cases[] = {
        {480000, withWorkers(16, ChunkingStrategy::vad), false},
        {480001, withWorkers(16, ChunkingStrategy::vad), true},
        {480001, std::nullopt, false},
        {480001, withWorkers(16, ChunkingStrategy::none), false},
        {480001, withWorkers(16), false},
        {0, withWorkers(16, ChunkingStrategy::vad), false},
    };
    for (const auto& c : cases) {
        auto engine = std::make_shared<FakeEngine>();
        engine->transcribe(silence(c.samples), c.options);
        EXPECT_EQ(engine->batchCalls.load(), c.chunked ? 1 : 0) << c.samples;
    }
}

TEST(SingleArrayRoad, AnOffsetMovesOnlyWhatTheSegmentObserverSees) {
    auto engine = std::make_shared<FakeEngine>();
    engine->segmentsFor = [](const std::vector<float>&) {
        TranscriptionSegment s;
        s.seek = 0;
        s.start = 1.0f;
        s.end = 2.5f;
        s.words = std::vector<WordTiming>{{"hola", {1}, 1.0f, 1.5f, 0.9f}};
        return std::vector<TranscriptionSegment>{s};
    };
    struct Case {
        int64_t offset;
        int64_t seek;
        float start, end, wordStart;
    };
    for (const auto& c : {Case{32000, 32000, 3.0f, 4.5f, 3.0f}, Case{0, 0, 1.0f, 2.5f, 1.0f}, Case{-5, 0, 1.0f, 2.5f, 1.0f}}) {
        std::vector<TranscriptionSegment> seen;
        const auto results = engine->transcribe(silence(16000), c.offset, std::nullopt, nullptr,
                                                [&](const std::vector<TranscriptionSegment>& s) { seen = s; });
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].seek, c.seek);
        EXPECT_FLOAT_EQ(seen[0].start, c.start);
        EXPECT_FLOAT_EQ(seen[0].end, c.end);
        EXPECT_FLOAT_EQ((*seen[0].words)[0].start, c.wordStart);
        ASSERT_EQ(results.size(), 1u);
        EXPECT_FLOAT_EQ(results[0]->segments()[0].start, 1.0f) << "results keep their own times";
        EXPECT_FALSE(results[0]->seekTime().has_value());
    }
}

TEST(SingleArrayRoad, TheCallersSegmentObserverWinsOverTheEngines) {
    auto engine = std::make_shared<FakeEngine>();
    int engineCalls = 0, callerCalls = 0;
    engine->setSegmentDiscoveryCallback([&](const std::vector<TranscriptionSegment>&) { ++engineCalls; });
    engine->transcribe(silence(100), std::nullopt, nullptr, [&](const std::vector<TranscriptionSegment>&) { ++callerCalls; });
    EXPECT_EQ(callerCalls, 1);
    EXPECT_EQ(engineCalls, 0);
    engine->transcribe(silence(100), std::nullopt);
    EXPECT_EQ(engineCalls, 1);
}

TEST(SingleArrayRoad, VerboseOptionsLogTheResultCountAndEachResult) {
    auto engine = std::make_shared<FakeEngine>();
    test_support::LogCapture log;
    DecodingOptions options;
    options.verbose = true;
    engine->transcribe(silence(100), options);
    const auto lines = log.texts();
    const auto count = std::find(lines.begin(), lines.end(), "Total Transcription Results: 1");
    ASSERT_NE(count, lines.end());
    EXPECT_NE(std::find(count, lines.end(), "[Result 0]"), lines.end());
}

// --- Long audio cut at silences ------------------------------------------------

TEST(ChunkedRoad, SeventySecondsWithThreeBurstsGiveOneResultPerChunkOnTheWholeTimeline) {
    auto engine = std::make_shared<FakeEngine>();
    engine->whileTranscribing = gather(2);  // the first batch's two chunks run together
    engine->setSegmentDiscoveryCallback([&](const std::vector<TranscriptionSegment>& s) { engine->observe(s); });
    int callerCalls = 0;
    const auto audio = bursts(70, {{5, 12}, {33, 41}, {58, 66}});
    const auto results = engine->transcribe(audio, 16000, withWorkers(2, ChunkingStrategy::vad), nullptr,
                                            [&](const std::vector<TranscriptionSegment>&) { ++callerCalls; });

    ASSERT_GE(results.size(), 3u);
    EXPECT_EQ(static_cast<int>(results.size()), engine->runs.load());
    EXPECT_LE(engine->maxInFlight.load(), 2);
    EXPECT_EQ(engine->maxInFlight.load(), 2);
    int64_t covered = 0;
    float previous = -1;
    for (const auto& result : results) {
        ASSERT_TRUE(result->seekTime().has_value());
        const auto segment = result->segments().at(0);
        EXPECT_FLOAT_EQ(segment.start, *result->seekTime()) << "moved to where the chunk starts";
        EXPECT_GT(*result->seekTime(), previous) << "in chunk order";
        previous = *result->seekTime();
        covered += static_cast<int64_t>(std::lround((segment.end - segment.start) * 16000));
    }
    EXPECT_NEAR(static_cast<double>(covered), static_cast<double>(audio.size()), 16000.0 * 1.5)
        << "the chunks cover the audio (a short silent tail may stay out)";
    // The engine's observer sees the caller's offset too; the caller's own is not used here.
    const auto seen = engine->observedSegments();
    ASSERT_EQ(seen.size(), results.size());
    float first = 1e9f;
    for (const auto& s : seen) first = std::min(first, s.start);
    EXPECT_FLOAT_EQ(first, 1.0f);
    EXPECT_EQ(callerCalls, 0);
}

TEST(ChunkedRoad, AFailedChunkIsLeftOutAndAStopEndsTheCall) {
    const auto audio = bursts(70, {{5, 12}, {33, 41}, {58, 66}});
    auto engine = std::make_shared<FakeEngine>();
    std::atomic<int> order{0};
    // One worker: the chunks run in order, and the first one fails.
    engine->whileTranscribing = [&](const std::vector<float>&) {
        if (order++ == 0) throw std::runtime_error("chunk failed");
    };
    const auto all = std::make_shared<FakeEngine>()->transcribe(audio, withWorkers(1, ChunkingStrategy::vad));
    const auto kept = engine->transcribe(audio, withWorkers(1, ChunkingStrategy::vad));
    ASSERT_EQ(kept.size() + 1, all.size());
    EXPECT_FLOAT_EQ(*kept[0]->seekTime(), *all[1]->seekTime());

    std::stop_source stop;
    engine->whileTranscribing = [&](const std::vector<float>&) { stop.request_stop(); };
    EXPECT_THROW(engine->transcribe(audio, withWorkers(1, ChunkingStrategy::vad), nullptr, nullptr, stop.get_token()),
                 platform::CancellationError);
}

TEST(ChunkedRoad, EveryChunkFailingIsAnErrorNotAnEmptyResult) {
    const auto audio = bursts(70, {{5, 12}, {33, 41}, {58, 66}});
    auto engine = std::make_shared<FakeEngine>();
    engine->whileTranscribing = [](const std::vector<float>& chunk) {
        throw WhisperError(WhisperError::Kind::transcriptionFailed,
                           "chunk of " + platform::formatInteger(static_cast<int64_t>(chunk.size())));
    };
    const auto chunks = std::make_shared<FakeEngine>()->transcribe(audio, withWorkers(2, ChunkingStrategy::vad));
    ASSERT_GE(chunks.size(), 2u);
    try {
        engine->transcribe(audio, withWorkers(2, ChunkingStrategy::vad));
        ADD_FAILURE() << "no error";
    } catch (const WhisperError& error) {
        EXPECT_EQ(std::string(error.what()), "chunk of " + chunks[0]->text().substr(2)) << "the first chunk's";
    }
    EXPECT_EQ(engine->runs.load(), static_cast<int>(chunks.size())) << "every chunk was tried";
}

// --- Several arrays --------------------------------------------------------------

TEST(ConcurrentArrays, UnbalancedInputsGiveOneFailure) {
    auto engine = std::make_shared<FakeEngine>();
    const std::vector<std::vector<float>> arrays(4, silence(10));
    auto options = engine->transcribeWithOptions(arrays, {DecodingOptions(), DecodingOptions(), DecodingOptions()});
    ASSERT_EQ(options.size(), 1u);
    EXPECT_EQ(messageOf(options[0]), "The number of audio arrays and decoding options must be balanced.");
    auto offsets = engine->transcribeWithOptions(arrays, std::vector<std::optional<DecodingOptions>>(4),
                                                 std::vector<int64_t>{0, 1});
    ASSERT_EQ(offsets.size(), 1u);
    EXPECT_EQ(messageOf(offsets[0]), "The number of audio arrays and seek offset indexes must be balanced.");
    EXPECT_EQ(engine->runs.load(), 0);
}

TEST(ConcurrentArrays, TheLargestWorkerCountSetsBatchesThatRunOneAfterAnother) {
    auto engine = std::make_shared<FakeEngine>();
    // Array n (of n samples) is in batch (n - 1) / 3. Each waits until its
    // whole batch runs, then the later arrays of the batch finish first.
    auto batchOf = [](size_t samples) { return (samples - 1) / 3; };
    std::mutex mutex;
    std::condition_variable changed;
    std::set<size_t> running, finished;
    engine->whileTranscribing = [&](const std::vector<float>& a) {
        const size_t n = a.size();
        const size_t first = 3 * batchOf(n) + 1, last = std::min<size_t>(first + 2, 7);
        auto all = [&](const std::set<size_t>& set, size_t from) {
            for (size_t m = from; m <= last; ++m)
                if (!set.count(m)) return false;
            return true;
        };
        std::unique_lock lock(mutex);
        running.insert(n);
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(60), [&] { return all(running, first) && all(finished, n + 1); });
        finished.insert(n);
        changed.notify_all();
    };
    std::vector<std::vector<float>> arrays;
    for (size_t i = 1; i <= 7; ++i) arrays.push_back(silence(i));
    std::vector<std::optional<DecodingOptions>> options{withWorkers(1), withWorkers(3), withWorkers(0), std::nullopt,
                                                        withWorkers(2), withWorkers(1), withWorkers(1)};
    const auto outcomes = engine->transcribeWithOptions(arrays, options);
    ASSERT_EQ(outcomes.size(), 7u);
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(resultsOf(outcomes[i])[0]->text(), FakeEngine::textFor(arrays[i]));
    EXPECT_EQ(engine->maxInFlight.load(), 3);
    // Batch {1,2,3}, then {4,5,6}, then {7}: none starts before the last one ended.
    const auto runs = engine->history();
    for (const auto& later : runs) {
        for (const auto& earlier : runs) {
            if (batchOf(later.samples) > batchOf(earlier.samples)) {
                EXPECT_GE(later.start, earlier.end);
            }
        }
    }
}

TEST(ConcurrentArrays, WithoutWorkerCountsAsManyRunAtOnceAsTheProcessHasCores) {
    const int cores = static_cast<int>(platform::ConcurrentWork::coreCount());
    const size_t count = 3 * static_cast<size_t>(cores) + 1;
    for (const auto& options : {std::optional<DecodingOptions>(), std::optional<DecodingOptions>(withWorkers(0)),
                                std::optional<DecodingOptions>(withWorkers(-3))}) {
        auto engine = std::make_shared<FakeEngine>();
        engine->whileTranscribing = gather(cores);
        const auto outcomes = engine->transcribeWithResults(std::vector<std::vector<float>>(count, silence(5)), options);
        ASSERT_EQ(outcomes.size(), count);
        for (const auto& outcome : outcomes) EXPECT_EQ(resultsOf(outcome)[0]->text(), "n=5");
        EXPECT_EQ(engine->maxInFlight.load(), cores) << "one transcription per core, all of them";
    }
}

TEST(ConcurrentArrays, AFewArraysWithoutWorkerCountsRunAllAtOnce) {
    const int count = std::min(3, static_cast<int>(platform::ConcurrentWork::coreCount()));
    auto engine = std::make_shared<FakeEngine>();
    engine->whileTranscribing = gather(count);
    const auto outcomes = engine->transcribeWithResults(
        std::vector<std::vector<float>>(static_cast<size_t>(count), silence(5)), std::nullopt);
    EXPECT_EQ(outcomes.size(), static_cast<size_t>(count));
    EXPECT_EQ(engine->maxInFlight.load(), count);
}

TEST(ConcurrentArrays, AFailureStaysInItsOwnEntry) {
    auto engine = std::make_shared<FakeEngine>();
    engine->whileTranscribing = [](const std::vector<float>& a) {
        if (a.size() == 2) throw WhisperError(WhisperError::Kind::transcriptionFailed, "Audio samples are nil");
    };
    const std::vector<std::vector<float>> arrays{silence(1), silence(2), silence(3)};
    const auto outcomes = engine->transcribeWithResults(arrays, withWorkers(2));
    EXPECT_EQ(messageOf(outcomes[1]), "Audio samples are nil");
    EXPECT_EQ(resultsOf(outcomes[2])[0]->text(), "n=3");
    const auto optionals = engine->transcribe(arrays, withWorkers(2));
    ASSERT_EQ(optionals.size(), 3u);
    EXPECT_TRUE(optionals[0].has_value());
    EXPECT_FALSE(optionals[1].has_value());
    EXPECT_TRUE(optionals[2].has_value());
}

TEST(ConcurrentArrays, ProgressCarriesTheArrayPositionAndSegmentsTheirOffset) {
    auto engine = std::make_shared<FakeEngine>();
    engine->setSegmentDiscoveryCallback([&](const std::vector<TranscriptionSegment>& s) { engine->observe(s); });
    std::mutex mutex;
    std::vector<int64_t> windows;
    const std::vector<std::vector<float>> arrays{silence(16000), silence(16000), silence(16000)};
    const auto outcomes = engine->transcribeWithOptions(
        arrays, std::vector<std::optional<DecodingOptions>>(3, withWorkers(1)), std::vector<int64_t>{0, 8000, 16000},
        [&](const TranscriptionProgress& p) -> std::optional<bool> {
            std::lock_guard lock(mutex);
            windows.push_back(p.windowId);
            return true;
        });
    EXPECT_EQ(windows, (std::vector<int64_t>{0, 1, 2}));
    const auto seen = engine->observedSegments();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].seek, 8000);
    EXPECT_FLOAT_EQ(seen[1].start, 0.5f);
    EXPECT_FLOAT_EQ(seen[1].end, 1.5f);
    EXPECT_FLOAT_EQ(resultsOf(outcomes[1])[0]->segments()[0].start, 0.0f) << "results are not shifted here";
}

TEST(ConcurrentArrays, TheBatchRoadsWorkOnAnEngineHeldAnyWay) {
    const auto longAudio = bursts(70, {{5, 12}, {33, 41}, {58, 66}});
    struct Case {
        const char* road;
        std::function<std::vector<std::string>(FakeEngine&)> texts;
        size_t count;
    };
    auto textsOf = [](const std::vector<TranscriptionOutcome>& outcomes) {
        std::vector<std::string> texts;
        for (const auto& outcome : outcomes) {
            if (std::holds_alternative<TranscriptionResults>(outcome)) {
                texts.push_back(resultsOf(outcome).at(0)->text());
            } else {
                texts.push_back(messageOf(outcome));
            }
        }
        return texts;
    };
    const Case cases[] = {
        {"arrays", [&](FakeEngine& e) { return textsOf(e.transcribeWithResults({silence(3), silence(4)}, std::nullopt)); },
         2},
        {"arrays in batches",
         [&](FakeEngine& e) { return textsOf(e.transcribeWithResults({silence(3), silence(4)}, withWorkers(1))); }, 2},
        {"long audio cut at silences",
         [&](FakeEngine& e) {
             std::vector<std::string> texts;
             for (const auto& result : e.transcribe(longAudio, withWorkers(2, ChunkingStrategy::vad)))
                 texts.push_back(result->text());
             return texts;
         },
         3},
    };
    for (const auto& c : cases) {
        FakeEngine onTheStack;
        auto owned = std::make_unique<FakeEngine>();
        for (FakeEngine* engine : {&onTheStack, owned.get()}) {
            const auto texts = c.texts(*engine);
            ASSERT_GE(texts.size(), c.count) << c.road;
            for (const auto& text : texts) EXPECT_EQ(text.rfind("n=", 0), 0u) << c.road << ": " << text;
            EXPECT_EQ(engine->runs.load(), static_cast<int>(texts.size())) << c.road;
        }
    }
}

TEST(ConcurrentArraysDeathTest, NoThreadToBeHadStillGivesEveryArrayItsOutcome) {
    if (!parlox::testing::addressSpaceIsOurs) GTEST_SKIP() << "the sanitizers need address space of their own";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto engine = std::make_shared<FakeEngine>();
            parlox::testing::leaveNoRoomForThreads();
            const auto outcomes = engine->transcribeWithResults(std::vector<std::vector<float>>(8, silence(5)), std::nullopt);
            bool whole = outcomes.size() == 8;
            for (const auto& outcome : outcomes) whole = whole && std::holds_alternative<TranscriptionResults>(outcome);
            std::_Exit(whole ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(ConcurrentArrays, NoArraysGiveNoOutcomes) {
    auto engine = std::make_shared<FakeEngine>();
    EXPECT_TRUE(engine->transcribeWithOptions({}, {}).empty());
    EXPECT_EQ(engine->runs.load(), 0);
}
