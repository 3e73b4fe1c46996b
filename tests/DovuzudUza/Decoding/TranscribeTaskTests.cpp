#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "DecodingTestSupport.hpp"
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

// Samples whose value is their index in seconds, so a window shows where it came from.
std::vector<float> ramp(size_t count) {
    std::vector<float> samples(count);
    for (size_t i = 0; i < count; ++i) samples[i] = static_cast<float>(i) / 16000.0f;
    return samples;
}

}  // namespace

TEST(TranscribeTask, FortyFiveSecondsGiveTwoWindowsAndTwoSegments) {
    ScriptedDecoder decoder({{hola(), mundo(), dot()}, {hola(), dot()}});
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
