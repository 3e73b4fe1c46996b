#include "DovuzudUza/Core/Audio/AudioStreamTranscriber.hpp"

#include <algorithm>
#include <condition_variable>

#include "DovuzudUza/Core/Audio/AudioEnergy.hpp"
#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/TranscribeTask.hpp"
#include "DovuzudUza/Utilities/TextUtilities.hpp"
#include "ZezeziCore/External/Hub/Progress.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/foundation/Unicode.hpp"

namespace DovuzudUza {

// The state and its observer: what the capture and progress callbacks
// reach, holding it weakly, so they do nothing once the transcriber is gone.
struct AudioStreamTranscriber::Shared {
    std::mutex mutex;
    State state;
    StateChangeCallback callback;

    void update(const std::function<void(State&)>& change) {
        State before, after;
        {
            std::lock_guard lock(mutex);
            before = state;
            change(state);
            after = state;
        }
        if (callback) callback(before, after);
    }
    State snapshot() {
        std::lock_guard lock(mutex);
        return state;
    }

    void progress(const TranscriptionProgress& report) {
        const auto fallbacks = static_cast<int64_t>(report.timings.totalDecodingFallbacks);
        const State now = snapshot();
        if (platform::graphemeCount(report.text) < platform::graphemeCount(now.currentText)) {
            if (now.currentFallbacks != fallbacks) {
                engine_log::info("Fallback occured: " + platform::formatInteger(fallbacks));
            } else {
                update([&](State& s) { s.unconfirmedText.push_back(s.currentText); });
            }
        }
        update([&](State& s) { s.currentText = report.text; });
        update([&](State& s) { s.currentFallbacks = fallbacks; });
    }
};

AudioStreamTranscriber::AudioStreamTranscriber(
    std::shared_ptr<AudioEncoding> audioEncoder, std::shared_ptr<FeatureExtracting> featureExtractor,
    std::shared_ptr<SegmentSeeking> segmentSeeker, std::shared_ptr<TextDecoding> textDecoder,
    std::shared_ptr<WhisperTokenizer> tokenizer, std::shared_ptr<AudioProcessing> audioProcessor,
    DecodingOptions decodingOptions, int64_t requiredSegmentsForConfirmation, float silenceThreshold,
    int64_t compressionCheckWindow, bool useVAD, std::optional<uint32_t> inputDeviceID,
    StateChangeCallback stateChangeCallback, std::shared_ptr<platform::audio::AudioSystem> audioSystem)
    : shared_(std::make_shared<Shared>()),
      requiredSegmentsForConfirmation_(requiredSegmentsForConfirmation),
      useVAD_(useVAD),
      silenceThreshold_(silenceThreshold),
      compressionCheckWindow_(compressionCheckWindow),
      transcribeTask_(std::make_shared<TranscribeTask>(TranscriptionTimings(), std::make_shared<Hub::Progress>(),
                                                       audioProcessor, std::move(audioEncoder),
                                                       std::move(featureExtractor), std::move(segmentSeeker),
                                                       std::move(textDecoder), std::move(tokenizer))),
      audioProcessor_(std::move(audioProcessor)),
      audioSystem_(audioSystem ? std::move(audioSystem) : platform::audio::makePulseAudioSystem()),
      decodingOptions_(std::move(decodingOptions)),
      inputDeviceID_(inputDeviceID) {
    shared_->callback = std::move(stateChangeCallback);
}

AudioStreamTranscriber::~AudioStreamTranscriber() = default;

AudioStreamTranscriber::State AudioStreamTranscriber::state() const { return shared_->snapshot(); }

void AudioStreamTranscriber::update(const std::function<void(State&)>& change) { shared_->update(change); }

void AudioStreamTranscriber::startStreamTranscription(std::stop_token stop) {
    if (state().isRecording) return;
    if (!AudioProcessor::requestRecordPermission(*audioSystem_)) {
        engine_log::error("Microphone access was not granted.");
        return;
    }
    update([](State& s) { s.isRecording = true; });
    const std::weak_ptr<Shared> weakShared = shared_;
    const std::weak_ptr<AudioProcessing> weakProcessor = audioProcessor_;
    try {
        audioProcessor_->startRecordingLive(inputDeviceID_, [weakShared, weakProcessor](const std::vector<float>&) {
            const auto shared = weakShared.lock();
            const auto processor = weakProcessor.lock();
            if (!shared || !processor) return;
            auto energy = processor->relativeEnergy();
            shared->update([&](State& s) { s.bufferEnergy = std::move(energy); });
        });
    } catch (...) {
        update([](State& s) { s.isRecording = false; });
        throw;
    }
    engine_log::info("Realtime transcription has started");
    while (state().isRecording) {
        try {
            if (stop.stop_requested()) throw platform::CancellationError();
            transcribeCurrentBuffer(stop);
        } catch (const std::exception& error) {
            const auto* described = dynamic_cast<const platform::Error*>(&error);
            engine_log::error("Error: " + (described ? described->localizedDescription() : std::string(error.what())));
            stopStreamTranscription();
            break;
        }
    }
}

void AudioStreamTranscriber::stopStreamTranscription() {
    update([](State& s) { s.isRecording = false; });
    audioProcessor_->stopRecording();
    engine_log::info("Realtime transcription has ended");
}

void AudioStreamTranscriber::pause(std::stop_token stop) {
    std::mutex mutex;
    std::unique_lock lock(mutex);
    std::condition_variable_any().wait_for(lock, stop, std::chrono::milliseconds(100), [] { return false; });
    if (stop.stop_requested()) throw platform::CancellationError();
}

void AudioStreamTranscriber::transcribeCurrentBuffer(std::stop_token stop) {
    const auto samples = audioProcessor_->audioSamples();
    const auto count = static_cast<int64_t>(samples.size());
    const float newSeconds = static_cast<float>(count - state().lastBufferSize) / 16000.0f;
    auto waitForSpeech = [&] {
        if (state().currentText.empty()) update([](State& s) { s.currentText = waitingText; });
        pause(stop);
    };
    if (newSeconds <= 1.0f) return waitForSpeech();
    if (useVAD_ && !AudioEnergy::isVoiceDetected(audioProcessor_->relativeEnergy(), newSeconds, silenceThreshold_)) {
        // The silent audio stays new: it counts again at the next turn.
        engine_log::debug("No voice detected, skipping transcribe");
        return waitForSpeech();
    }
    update([&](State& s) { s.lastBufferSize = count; });
    const auto result = transcribeAudioSamples(samples, stop);
    update([](State& s) { s.currentText.clear(); });
    update([](State& s) { s.unconfirmedText.clear(); });

    const auto segments = result->segments();
    const auto required = static_cast<size_t>(std::max<int64_t>(requiredSegmentsForConfirmation_, 0));
    if (segments.size() <= required) {
        update([&](State& s) { s.unconfirmedSegments = segments; });
        return;
    }
    const std::vector<TranscriptionSegment> candidates(segments.begin(), segments.end() - static_cast<long>(required));
    const std::vector<TranscriptionSegment> tail(segments.end() - static_cast<long>(required), segments.end());
    if (candidates.back().end > state().lastConfirmedSegmentEndSeconds) {
        update([&](State& s) {
            s.lastConfirmedSegmentEndSeconds = candidates.back().end;
            const bool present = std::search(s.confirmedSegments.begin(), s.confirmedSegments.end(), candidates.begin(),
                                             candidates.end()) != s.confirmedSegments.end();
            if (!present) s.confirmedSegments.insert(s.confirmedSegments.end(), candidates.begin(), candidates.end());
        });
    }
    update([&](State& s) { s.unconfirmedSegments = tail; });
}

std::shared_ptr<TranscriptionResult> AudioStreamTranscriber::transcribeAudioSamples(const std::vector<float>& samples,
                                                                                    std::stop_token stop) {
    DecodingOptions options = decodingOptions_;
    options.clipTimestamps = {state().lastConfirmedSegmentEndSeconds};
    const std::weak_ptr<Shared> weakShared = shared_;
    const int64_t window = compressionCheckWindow_;
    auto callback = [weakShared, options, window](const TranscriptionProgress& progress) -> std::optional<bool> {
        if (const auto shared = weakShared.lock()) shared->progress(progress);
        if (shouldStopEarly(progress, options, window)) return false;
        return std::nullopt;
    };
    return transcribeTask_->run(samples, options, callback, stop);
}

void AudioStreamTranscriber::onProgressCallback(const TranscriptionProgress& progress) { shared_->progress(progress); }

bool AudioStreamTranscriber::shouldStopEarly(const TranscriptionProgress& progress, const DecodingOptions& options,
                                             int64_t compressionCheckWindow) {
    const auto window = static_cast<size_t>(std::max<int64_t>(compressionCheckWindow, 0));
    // Without a threshold the repetition check is off.
    if (progress.tokens.size() > window && options.compressionRatioThreshold) {
        const std::span<const int64_t> last(progress.tokens.data() + (progress.tokens.size() - window), window);
        if (TextUtilities::compressionRatio(last) > *options.compressionRatioThreshold) return true;
    }
    return progress.avgLogprob && options.logProbThreshold && *progress.avgLogprob < *options.logProbThreshold;
}

}  // namespace DovuzudUza
