#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <set>
#include <thread>

#include "DecodingTestSupport.hpp"
#include "ZezeziCore/External/Tokenizers/ByteEncoder.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/Date.hpp"
#include "platform/log/SystemLog.hpp"

using namespace DovuzudUza;
using namespace DovuzudUza::decoding_test;

namespace {

// Notes the progress seen at the start of each window.
class WatchedTask : public TranscribeTask {
public:
    using TranscribeTask::TranscribeTask;
    std::vector<int64_t> completedAtWindow, seeks, sizes;
    std::vector<std::vector<float>> windowHeads;  // first samples of each fitted window
    void windowPreprocess(const AudioProcessorOutputType& window, int64_t seek, int64_t segmentSize) override {
        completedAtWindow.push_back(progress()->completedUnitCount());
        seeks.push_back(seek);
        sizes.push_back(segmentSize);
        windowHeads.push_back({window->floatAt(0), window->floatAt(segmentSize - 1),
                               segmentSize < window->count() ? window->floatAt(segmentSize) : -1.0f});
    }
};

std::shared_ptr<WatchedTask> watchedTask(ScriptedDecoder& decoder,
                                         std::shared_ptr<SegmentSeeking> seeker = std::make_shared<SegmentSeeker>()) {
    return std::make_shared<WatchedTask>(TranscriptionTimings{}, nullptr, nullptr, fakeAudioEncoder(),
                                         fakeFeatureExtractor(), std::move(seeker), decoder.decoder, tokenizer());
}

using SeekerAnswer = std::pair<int64_t, std::optional<std::vector<TranscriptionSegment>>>;

// The seeker's own answer, changed by the test: (seek, size, answer) -> answer.
class ChangedSeeker : public SegmentSeeker {
public:
    using Change = std::function<SeekerAnswer(int64_t seek, int64_t size, SeekerAnswer found)>;
    explicit ChangedSeeker(Change change) : change_(std::move(change)) {}
    SeekerAnswer findSeekPointAndSegments(const DecodingResult& r, const DecodingOptions& o, int64_t count, int64_t seek,
                                          int64_t size, int64_t rate, int64_t timeToken, int64_t specialToken,
                                          const WhisperTokenizer& t) override {
        return change_(seek, size,
                       SegmentSeeker::findSeekPointAndSegments(r, o, count, seek, size, rate, timeToken, specialToken, t));
    }

private:
    Change change_;
};

// Samples whose value is their index in seconds, so a window shows where it came from.
std::vector<float> ramp(size_t count) {
    std::vector<float> samples(count);
    for (size_t i = 0; i < count; ++i) samples[i] = static_cast<float>(i) / 16000.0f;
    return samples;
}

}  // namespace

TEST(TranscribeTask, FortyFiveSecondsGiveTwoWindowsAndTwoSegments) {
    ScriptedDecoder decoder(Attempts{{hola(), mundo(), dot()}, {hola(), dot()}});
    auto task = watchedTask(decoder);
    std::vector<std::vector<TranscriptionSegment>> discovered;
    task->setSegmentDiscoveryCallback([&](const std::vector<TranscriptionSegment>& s) { discovered.push_back(s); });

    const auto result = task->run(ramp(720000), roadOptions());

    EXPECT_EQ(task->seeks, (std::vector<int64_t>{0, 480000}));
    EXPECT_EQ(task->sizes, (std::vector<int64_t>{480000, 240000}));
    EXPECT_EQ(task->completedAtWindow, (std::vector<int64_t>{0, 480000}));
    EXPECT_EQ(task->progress()->completedUnitCount(), 720000);
    EXPECT_EQ(task->progress()->totalUnitCount(), 720000);
    // The second window holds its own 15 s followed by zeros.
    EXPECT_FLOAT_EQ(task->windowHeads[1][0], 30.0f);
    EXPECT_FLOAT_EQ(task->windowHeads[1][1], 719999.0f / 16000.0f);
    EXPECT_EQ(task->windowHeads[1][2], 0.0f);

    const auto segments = result->segments();
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].id, 0);
    EXPECT_EQ(segments[1].id, 1);
    EXPECT_EQ(segments[0].seek, 0);
    EXPECT_EQ(segments[1].seek, 480000);
    EXPECT_FLOAT_EQ(segments[0].start, 0.0f);
    EXPECT_FLOAT_EQ(segments[0].end, 30.0f);
    EXPECT_FLOAT_EQ(segments[1].start, 30.0f);
    EXPECT_FLOAT_EQ(segments[1].end, 45.0f);
    EXPECT_EQ(segments[0].text, " Hola mundo.");
    EXPECT_EQ(result->text(), "Hola mundo. Hola.");
    EXPECT_EQ(result->language(), "es");
    ASSERT_EQ(discovered.size(), 2u);
    EXPECT_EQ(discovered[0], std::vector<TranscriptionSegment>{segments[0]});

    const auto timings = result->timings();
    EXPECT_EQ(timings.totalDecodingWindows, 2);
    EXPECT_EQ(timings.totalLogmelRuns, 2);
    EXPECT_EQ(timings.totalEncodingRuns, 2);
    EXPECT_EQ(timings.totalAudioProcessingRuns, 2);
    EXPECT_EQ(timings.totalDecodingFallbacks, 0);
    EXPECT_DOUBLE_EQ(timings.inputAudioSeconds, 45.0);
    EXPECT_GT(timings.fullPipeline, 0);
    EXPECT_LT(timings.pipelineStart, platform::currentAbsoluteTime());
    EXPECT_LE(timings.pipelineStart, timings.firstTokenTime);
}

TEST(TranscribeTask, AudioOfOneSecondOrLessGivesNoWindow) {
    struct Case {
        size_t samples;
        size_t windows;
        int64_t firstSize;
    };
    // The last windowClipTime (1 s) of a clip is never decoded.
    for (const auto& c : {Case{0, 0, 0}, Case{16000, 0, 0}, Case{16001, 1, 16001}, Case{496000, 1, 480000}}) {
        ScriptedDecoder decoder(Attempts{{hola()}});
        auto task = watchedTask(decoder);
        const auto result = task->run(ramp(c.samples), roadOptions());
        EXPECT_EQ(task->seeks.size(), c.windows) << c.samples;
        if (c.windows) {
            EXPECT_EQ(task->sizes[0], c.firstSize) << c.samples;
        }
        EXPECT_EQ(task->progress()->totalUnitCount(), static_cast<int64_t>(c.samples));
        EXPECT_EQ(task->progress()->completedUnitCount(), static_cast<int64_t>(c.samples));
        if (!c.windows) {
            EXPECT_EQ(result->text(), "");
            EXPECT_TRUE(result->segments().empty());
            EXPECT_EQ(result->language(), "en");
            EXPECT_EQ(result->seekTime(), std::nullopt);
        }
    }
}

TEST(TranscribeTask, ClipTimesChooseTheAudioAndAClipPastItFails) {
    ScriptedDecoder decoder(Attempts{{hola()}});
    auto task = watchedTask(decoder);
    auto options = roadOptions();
    options.clipTimestamps = {10.0f, 20.0f};
    const auto result = task->run(ramp(960000), options);
    EXPECT_DOUBLE_EQ(result->timings().inputAudioSeconds, 50.0);
    EXPECT_EQ(task->seeks, std::vector<int64_t>{160000});
    EXPECT_EQ(task->sizes, std::vector<int64_t>{160000});
    // The window is the clip's 10 s and zeros, not the audio after 20 s.
    EXPECT_FLOAT_EQ(task->windowHeads[0][0], 10.0f);
    EXPECT_EQ(task->windowHeads[0][2], 0.0f);
    EXPECT_EQ(task->progress()->totalUnitCount(), 160000);
    EXPECT_FLOAT_EQ(result->segments().at(0).start, 10.0f);

    ScriptedDecoder other(Attempts{{hola()}});
    auto beyond = watchedTask(other);
    options.clipTimestamps = {0.0f, 70.0f};  // 10 s past the end of 60 s
    EXPECT_EQ(whisperError([&] { beyond->run(ramp(960000), options); }),
              WhisperError::transcriptionFailed("Audio samples are nil"));
    EXPECT_EQ(beyond->seeks.size(), 2u);  // two windows were done before
}

TEST(TranscribeTask, TextComesFromTheKeptTokensTrimmedOfSpacesOnly) {
    const int64_t newline = idOf("\xC4\x8A");  // the byte-level symbol of "\n"
    ScriptedDecoder decoder(Attempts{{hola(), newline}});
    auto task = makeTask(decoder);
    auto options = roadOptions();
    options.skipSpecialTokens = false;  // segment texts keep the special tokens; the result's text never does
    const auto result = task->run(ramp(100000), options);
    EXPECT_EQ(result->text(), "Hola\n");
    EXPECT_NE(result->segments().at(0).text.find("<|endoftext|>"), std::string::npos);

    // Every space of the white-space set goes, not only the ASCII one: a
    // no-break space before the text, a tab and an ideographic space after
    // its line break.
    const auto bytes = [](std::initializer_list<int> values) {
        std::vector<int64_t> ids;
        for (int b : values) ids.push_back(idOf(Tokenizers::byteEncoder()[static_cast<size_t>(b)]));
        return ids;
    };
    std::vector<int64_t> spaced = bytes({0xC2, 0xA0});
    spaced.push_back(hola());
    spaced.push_back(newline);
    for (int64_t id : bytes({0x09, 0xE3, 0x80, 0x80})) spaced.push_back(id);
    ScriptedDecoder wide(Attempts{spaced});
    EXPECT_EQ(makeTask(wide)->run(ramp(100000), roadOptions())->text(), "Hola\n");
}

TEST(TranscribeTask, WindowIdsCountWindowsMinusTheLastFallbackIndex) {
    // Window 1 needs two fallbacks (attempt index 2 succeeds).
    std::vector<int64_t> repeated(40, mundo());
    ScriptedDecoder decoder(Attempts{{hola()}, repeated, repeated, {hola()}, {hola()}});
    auto task = makeTask(decoder);
    auto options = roadOptions();
    options.sampleLength = 40;
    // Reports come at once here (the scripted decoder runs them inline):
    // the ids seen before each window's segments are that window's.
    std::vector<std::set<int64_t>> perWindow(1);
    task->setSegmentDiscoveryCallback([&](const std::vector<TranscriptionSegment>&) { perWindow.emplace_back(); });
    task->run(ramp(480000 * 3), options, [&](const TranscriptionProgress& p) -> std::optional<bool> {
        perWindow.back().insert(p.windowId);
        return std::nullopt;
    });
    std::vector<int64_t> ids;
    for (size_t w = 0; w + 1 < perWindow.size(); ++w) {
        ASSERT_EQ(perWindow[w].size(), 1u) << w;  // every attempt of a window reports the same id
        ids.push_back(*perWindow[w].begin());
    }
    // Window 0: id 0; window 1: id 1 (all its attempts); window 2: 2 windows - fallback index 1 = 1.
    EXPECT_EQ(ids, (std::vector<int64_t>{0, 1, 1}));
    EXPECT_EQ(task->timings().totalDecodingFallbacks, 1);
    EXPECT_EQ(task->timings().totalDecodingWindows, 3);
}

TEST(TranscribeTask, MaxWindowSeekAndANonAdvancingSeekerStillMoveOn) {
    // A seeker that gives the window's own seek back: the window still moves on.
    ScriptedDecoder stuck(Attempts{{hola()}});
    auto task = watchedTask(stuck, std::make_shared<ChangedSeeker>([](int64_t seek, int64_t, SeekerAnswer found) {
                                return SeekerAnswer{seek, found.second};
                            }));
    task->run(ramp(720000), roadOptions());
    EXPECT_EQ(task->seeks, (std::vector<int64_t>{0, 480000}));

    // maxWindowSeek of 10 s: the windows start 10 s apart and overlap.
    ScriptedDecoder scripted(Attempts{{hola()}});
    auto overlapping = watchedTask(scripted);
    auto options = roadOptions();
    options.maxWindowSeek = 160000;
    overlapping->run(ramp(720000), options);
    EXPECT_EQ(overlapping->seeks, (std::vector<int64_t>{0, 160000, 320000, 480000, 640000}));
    EXPECT_EQ(overlapping->sizes[1], 480000);

    // Not even a zero or negative maxWindowSeek holds it in place.
    ScriptedDecoder zero(Attempts{{hola()}});
    auto zeroTask = watchedTask(zero);
    options.maxWindowSeek = 0;
    zeroTask->run(ramp(720000), options);
    EXPECT_EQ(zeroTask->seeks, (std::vector<int64_t>{0, 480000}));
}

TEST(TranscribeTask, ExtremeWindowOptionsStayWithinTheSampleIndexes) {
    constexpr int64_t most = std::numeric_limits<int64_t>::max();
    // The largest maxWindowSeek limits nothing: the seeker's seek stands.
    ScriptedDecoder scripted(Attempts{{hola()}});
    auto shortSteps = watchedTask(scripted, std::make_shared<ChangedSeeker>([](int64_t seek, int64_t, SeekerAnswer found) {
                                      return SeekerAnswer{seek + 240000, found.second};
                                  }));
    auto options = roadOptions();
    options.maxWindowSeek = most;
    shortSteps->run(ramp(720000), options);
    EXPECT_EQ(shortSteps->seeks, (std::vector<int64_t>{0, 240000, 480000}));

    struct Case {
        std::vector<float> clipTimestamps;
        float windowClipTime;
        int64_t total;    // the progress total: the clip lengths, held at the largest count
        size_t windows;   // windows done before the one that finds no samples
    };
    for (const auto& c : {Case{{0.0f, 1e30f}, -1e30f, int64_t{1} << 62, 2},  // a clip limit past any index
                          Case{{-1e30f, 1e30f}, 1.0f, most, 0}}) {           // a clip longer than any count
        ScriptedDecoder decoder(Attempts{{hola()}});
        auto task = watchedTask(decoder);
        options = roadOptions();
        options.clipTimestamps = c.clipTimestamps;
        options.windowClipTime = c.windowClipTime;
        EXPECT_EQ(whisperError([&] { task->run(ramp(720000), options); }),
                  WhisperError::transcriptionFailed("Audio samples are nil"));
        EXPECT_EQ(task->progress()->totalUnitCount(), c.total);
        EXPECT_EQ(task->seeks.size(), c.windows);
    }
}

TEST(TranscribeTask, WordTimingsAreLoggedAlsoWhenTheSeekerGivesNone) {
    class NoTimingSeeker : public SegmentSeeker {
    public:
        std::optional<std::vector<TranscriptionSegment>> addWordTimestamps(
            const std::vector<TranscriptionSegment>&, const MultiArray&, const WhisperTokenizer&, int64_t, int64_t,
            const std::string&, const std::string&, float, const DecodingOptions&, const TranscriptionTimings&) override {
            return std::nullopt;
        }
    };
    ScriptedDecoder decoder(Attempts{{hola()}}, true);
    auto task = watchedTask(decoder, std::make_shared<NoTimingSeeker>());
    auto options = roadOptions();
    options.wordTimestamps = true;
    LogCapture log;
    const auto result = task->run(ramp(100000), options);
    EXPECT_TRUE(result->segments().empty());  // no segment list for the window
    EXPECT_EQ(countOf(log.texts(), "Word timestamps:"), 1u);
    EXPECT_EQ(countOf(log.texts(), "Segments for window:"), 0u);
}

TEST(TranscribeTask, ASkippedWindowKeepsNoSegmentsAndMovesNothingElse) {
    // The first window is skipped as silence.
    ScriptedDecoder decoder(Attempts{{mundo()}, {hola()}});
    auto task = watchedTask(decoder, std::make_shared<ChangedSeeker>([](int64_t seek, int64_t size, SeekerAnswer found) {
                                return seek == 0 ? SeekerAnswer{seek + size, std::nullopt} : found;
                            }));
    int calls = 0;
    task->setSegmentDiscoveryCallback([&](const std::vector<TranscriptionSegment>&) { ++calls; });
    const auto result = task->run(ramp(720000), roadOptions());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(task->completedAtWindow, (std::vector<int64_t>{0, 0}));  // no progress for the skipped window
    EXPECT_EQ(task->timings().totalDecodingWindows, 1);
    ASSERT_EQ(result->segments().size(), 1u);
    EXPECT_EQ(result->segments()[0].id, 0);
    EXPECT_EQ(result->text(), "Hola");
    // The skipped window's decoder state was not rewound: the next window
    // started where its decode left the cache.
    const auto steps = decoder.recorded();
    EXPECT_EQ(steps[5].cacheLength, 0);
    EXPECT_EQ(steps[5].paddingMask[4], 0.0f);  // a rewind would have hidden it again
}

TEST(TranscribeTask, WordTimingsDropSegmentsThatEndBeforeTheyStart) {
    // A seeker whose word timing gives one empty and one sound segment.
    class TimingSeeker : public SegmentSeeker {
    public:
        std::optional<std::vector<TranscriptionSegment>> addWordTimestamps(
            const std::vector<TranscriptionSegment>& segments, const MultiArray&, const WhisperTokenizer&, int64_t,
            int64_t, const std::string&, const std::string&, float lastSpeech, const DecodingOptions&,
            const TranscriptionTimings&) override {
            lastSpeechTimestamps.push_back(lastSpeech);
            auto timed = segments;
            auto empty = timed.at(0);
            empty.start = empty.end = 3.0f;
            timed.insert(timed.begin(), empty);
            timed.back().end = timed.back().start + 31.5f;  // the seek moves on past it
            return timed;
        }
        std::vector<float> lastSpeechTimestamps;
    };
    auto seeker = std::make_shared<TimingSeeker>();
    ScriptedDecoder decoder(Attempts{{hola()}}, true);
    auto task = watchedTask(decoder, seeker);
    auto options = roadOptions();
    options.wordTimestamps = true;
    const auto result = task->run(ramp(720000), options);
    EXPECT_EQ(seeker->lastSpeechTimestamps, (std::vector<float>{0.0f, 31.5f}));
    EXPECT_EQ(task->seeks, (std::vector<int64_t>{0, 504000}));
    EXPECT_EQ(result->segments().size(), 2u);
    EXPECT_EQ(task->timings().totalTimestampAlignmentRuns, 2);
}

TEST(TranscribeTask, SegmentIdsStayUniqueWhenWordTimingsDropASegment) {
    // Two segments a window; word timing empties the first one of the first window.
    class TwoSegmentSeeker : public SegmentSeeker {
    public:
        SeekerAnswer findSeekPointAndSegments(const DecodingResult& r, const DecodingOptions& o, int64_t count,
                                              int64_t seek, int64_t size, int64_t rate, int64_t timeToken,
                                              int64_t specialToken, const WhisperTokenizer& t) override {
            auto found = SegmentSeeker::findSeekPointAndSegments(r, o, count, seek, size, rate, timeToken, specialToken, t);
            auto second = found.second->at(0);
            second.id += 1;
            found.second->push_back(second);
            return found;
        }
        std::optional<std::vector<TranscriptionSegment>> addWordTimestamps(
            const std::vector<TranscriptionSegment>& segments, const MultiArray&, const WhisperTokenizer&, int64_t seek,
            int64_t, const std::string&, const std::string&, float, const DecodingOptions&,
            const TranscriptionTimings&) override {
            auto timed = segments;
            if (seek == 0) timed[0].end = timed[0].start;
            return timed;
        }
    };
    ScriptedDecoder decoder(Attempts{{hola()}, {mundo()}}, true);
    auto task = watchedTask(decoder, std::make_shared<TwoSegmentSeeker>());
    std::vector<int64_t> discovered;
    task->setSegmentDiscoveryCallback([&](const std::vector<TranscriptionSegment>& window) {
        for (const auto& s : window) discovered.push_back(s.id);
    });
    auto options = roadOptions();
    options.wordTimestamps = true;
    const auto result = task->run(ramp(720000), options);
    ASSERT_EQ(task->seeks, (std::vector<int64_t>{0, 480000}));
    std::vector<int64_t> ids;
    for (const auto& s : result->segments()) ids.push_back(s.id);
    EXPECT_EQ(ids, (std::vector<int64_t>{0, 1, 2}));
    EXPECT_EQ(discovered, ids);
}

TEST(TranscribeTask, CancellationStopsBetweenStagesAndEndsTheInterval) {
    platform::SystemLog::setMinimumLevel(platform::LogLevel::debug);
    std::vector<std::string> events;
    std::mutex mutex;
    platform::SystemLog::setSink([&](platform::LogLevel, const std::string&, const std::string& category,
                                     const std::string& message) {
        std::lock_guard lock(mutex);
        if (category == "TranscribeTask") events.push_back(message.substr(0, message.find(" [")));
    });
    // Cancelled as the first window's mel stage runs; the rest never comes.
    ScriptedDecoder decoder(Attempts{{hola()}});
    std::stop_source stop;
    auto mel = fakeFeatureExtractor();
    std::dynamic_pointer_cast<FakeModel>(mel->model())->setCallback([&](const FeatureProvider&) {
        stop.request_stop();
        DictionaryFeatureProvider out;
        out.set("melspectrogram_features", MultiArray::make({1, 80, 1, 4}, DataType::float16));
        return out;
    });
    auto task = makeTask(decoder, mel);
    int windows = 0;
    task->setSegmentDiscoveryCallback([&](const std::vector<TranscriptionSegment>&) { ++windows; });
    EXPECT_THROW(task->run(ramp(720000), roadOptions(), nullptr, stop.get_token()), platform::CancellationError);
    platform::SystemLog::setSink({});
    platform::SystemLog::setMinimumLevel(platform::LogLevel::info);
    EXPECT_TRUE(decoder.recorded().empty());
    EXPECT_EQ(windows, 0);
    EXPECT_EQ(task->timings().totalLogmelRuns, 1);
    EXPECT_EQ(task->timings().totalEncodingRuns, 0);
    EXPECT_EQ(events, (std::vector<std::string>{"begin TranscribeAudio", "end TranscribeAudio"}));
}

TEST(TranscribeTask, StageFailuresReachTheCallerAsEngineErrors) {
    struct NothingStage : FeatureExtracting, AudioEncoding {
        bool melGives = true;
        std::optional<int64_t> melCount() const override { return 80; }
        std::optional<int64_t> windowSamples() const override { return 480000; }
        FeatureExtractorOutputType logMelSpectrogram(const AudioProcessorOutputType&, std::stop_token) override {
            return melGives ? MultiArray::make({1}, DataType::float16) : nullptr;
        }
        std::optional<int64_t> embedSize() const override { return 8; }
        AudioEncoderOutputType encodeFeatures(const FeatureExtractorOutputType&, std::stop_token) override { return nullptr; }
    };
    ScriptedDecoder decoder(Attempts{{hola()}});
    auto stage = std::make_shared<NothingStage>();
    TranscribeTask task(TranscriptionTimings{}, nullptr, nullptr, stage, stage, std::make_shared<SegmentSeeker>(),
                        decoder.decoder, tokenizer());
    EXPECT_EQ(whisperError([&] { task.run(ramp(20000), roadOptions()); }),
              WhisperError::transcriptionFailed("Encoder output is nil"));
    stage->melGives = false;
    EXPECT_EQ(whisperError([&] { task.run(ramp(20000), roadOptions()); }),
              WhisperError::transcriptionFailed("Mel output is nil"));
    EXPECT_THROW(TranscribeTask(TranscriptionTimings{}, nullptr, nullptr, stage, stage, nullptr, decoder.decoder, tokenizer()),
                 std::invalid_argument);
}

TEST(TranscribeTask, WordTimingsComeFromTheAlignmentRowsTheDecoderWrote) {
    ScriptedDecoder decoder(Attempts{{hola(), mundo(), dot()}}, true);
    // Step t writes row t + 1, the row of token t + 1: the prompt on frame 0,
    // Hola on 1-5, mundo on 6-11, "." on 12-13, the end on 14-15.
    const std::vector<std::pair<int64_t, int64_t>> spans{{0, 1}, {0, 1}, {0, 1}, {1, 6}, {6, 12}, {12, 14}, {14, 16}};
    for (int64_t t = 0; t < 7; ++t) {
        std::vector<float> row(ScriptedDecoder::frames, -1.0f);
        for (auto f = spans[static_cast<size_t>(t)].first; f < spans[static_cast<size_t>(t)].second; ++f)
            row[static_cast<size_t>(f)] = 1.0f;
        decoder.alignmentRows[{0, t}] = row;
    }
    auto task = makeTask(decoder);
    auto options = roadOptions();
    options.wordTimestamps = true;
    const auto result = task->run(ramp(480000 + 160000), options);
    const auto segments = result->segments();
    ASSERT_FALSE(segments.empty());
    ASSERT_TRUE(segments[0].words);
    const auto& words = *segments[0].words;
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].word, " Hola");
    EXPECT_EQ(words[1].word, " mundo.");
    EXPECT_FLOAT_EQ(words[0].start, 0.02f);
    EXPECT_FLOAT_EQ(words[0].end, 0.12f);
    EXPECT_FLOAT_EQ(words[1].start, 0.12f);
    EXPECT_FLOAT_EQ(words[1].end, 0.24f);
    EXPECT_FLOAT_EQ(segments[0].end, 0.24f);
}
