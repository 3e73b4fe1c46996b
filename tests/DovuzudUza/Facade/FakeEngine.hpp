#pragma once

// An engine whose single windowed transcription is scripted, so the roads
// above it (offsets, chunking, batches, files) run without models.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace DovuzudUza::test_support {

inline DovuzudUzaConfig offlineConfig() {
    DovuzudUzaConfig::Arguments a;
    a.download = false;
    return DovuzudUzaConfig(std::move(a));
}

class FakeEngine : public DovuzudUza {
public:
    explicit FakeEngine(const DovuzudUzaConfig& config = offlineConfig()) : DovuzudUza(config) {}

    // Runs inside each transcription (sleep, throw, wait for others).
    std::function<void(const std::vector<float>&)> whileTranscribing;
    // The segments each transcription returns; by default one spanning the audio.
    std::function<std::vector<TranscriptionSegment>(const std::vector<float>&)> segmentsFor;

    std::atomic<int> inFlight{0};
    std::atomic<int> maxInFlight{0};
    std::atomic<int> runs{0};
    std::atomic<int> batchCalls{0};

    struct Run {
        size_t samples;
        double start, end;
    };
    std::vector<Run> history() const {
        std::lock_guard lock(mutex_);
        return history_;
    }
    std::vector<TranscriptionSegment> observedSegments() const {
        std::lock_guard lock(mutex_);
        return observed_;
    }
    void observe(const std::vector<TranscriptionSegment>& segments) {
        std::lock_guard lock(mutex_);
        observed_.insert(observed_.end(), segments.begin(), segments.end());
    }

    TranscriptionResults runTranscribeTask(const std::vector<float>& audioArray,
                                           const std::optional<DecodingOptions>&, TranscriptionCallback callback,
                                           SegmentDiscoveryCallback segmentCallback, std::stop_token stop) override {
        const double start = clock();
        const int now = ++inFlight;
        int seen = maxInFlight.load();
        while (now > seen && !maxInFlight.compare_exchange_weak(seen, now)) {
        }
        ++runs;
        struct Leave {
            FakeEngine* engine;
            size_t samples;
            double start;
            ~Leave() {
                --engine->inFlight;
                std::lock_guard lock(engine->mutex_);
                engine->history_.push_back({samples, start, engine->clock()});
            }
        } leave{this, audioArray.size(), start};
        if (whileTranscribing) whileTranscribing(audioArray);
        if (stop.stop_requested()) throw platform::CancellationError();
        auto segments = segmentsFor ? segmentsFor(audioArray) : std::vector<TranscriptionSegment>{spanning(audioArray)};
        if (segmentCallback) segmentCallback(segments);
        if (callback) {
            TranscriptionProgress progress;
            progress.windowId = 99;
            callback(progress);
        }
        return {std::make_shared<TranscriptionResult>(textFor(audioArray), segments, "es")};
    }

    std::vector<TranscriptionOutcome> transcribeWithOptions(
        const std::vector<std::vector<float>>& audioArrays,
        const std::vector<std::optional<DecodingOptions>>& decodeOptionsArray,
        const std::optional<std::vector<int64_t>>& seekOffsets = std::nullopt, TranscriptionCallback callback = nullptr,
        std::stop_token stop = {}) override {
        ++batchCalls;
        return DovuzudUza::transcribeWithOptions(audioArrays, decodeOptionsArray, seekOffsets, std::move(callback), stop);
    }

    static std::string textFor(const std::vector<float>& audio) {
        return "n=" + platform::formatInteger(static_cast<int64_t>(audio.size()));
    }
    static TranscriptionSegment spanning(const std::vector<float>& audio) {
        TranscriptionSegment segment;
        segment.seek = 0;
        segment.start = 0;
        segment.end = static_cast<float>(audio.size()) / 16000.0f;
        segment.text = textFor(audio);
        return segment;
    }

private:
    double clock() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch_).count();
    }
    std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
    mutable std::mutex mutex_;
    std::vector<Run> history_;
    std::vector<TranscriptionSegment> observed_;
};

}  // namespace DovuzudUza::test_support
