#include "DovuzudUza/Core/Audio/AudioStreamTranscriber.hpp"

#include <algorithm>
#include <condition_variable>
#include <thread>
#include <utility>

#include "DovuzudUza/Core/Audio/AudioEnergy.hpp"
#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/SegmentShift.hpp"
#include "DovuzudUza/Core/TranscribeTask.hpp"
#include "DovuzudUza/Utilities/TextUtilities.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "ZezeziCore/External/Hub/Progress.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/foundation/Unicode.hpp"

namespace DovuzudUza {

namespace {

// The sample a pass starts at: where the task places the confirmed point.
int64_t firstSampleOfPass(float confirmedPoint, int64_t sampleCount) {
    DecodingOptions clip;
    clip.clipTimestamps = {confirmedPoint};
    return std::clamp<int64_t>(clip.prepareSeekClips(sampleCount).front().first, 0, sampleCount);
}

// Whether confirmed[from, to) holds `run` as one stretch of equal segments.
bool holdsRun(const std::vector<TranscriptionSegment>& confirmed, size_t from, size_t to,
              const std::vector<TranscriptionSegment>& run) {
    to = std::min(to, confirmed.size());
    const auto begin = confirmed.begin() + static_cast<long>(std::min(from, to));
    const auto end = confirmed.begin() + static_cast<long>(to);
    return std::search(begin, end, run.begin(), run.end()) != end;
}

}  // namespace

// The state and its observer: what the capture and progress callbacks
// reach, holding it weakly, so they do nothing once the transcriber is gone.
struct AudioStreamTranscriber::Shared {
    // The changes of one locked section. The observer hears of each one
    // that alters the state, and the state is copied for it only then.
    class Changes {
    public:
        Changes(State& state, std::vector<State>* trail) : state_(state), trail_(trail) {}
        const State& state() const { return state_; }
        // A change that alters the state whenever it is made.
        template <class F>
        void apply(F&& change) {
            if (trail_ && trail_->empty()) trail_->push_back(state_);
            change(state_);
            if (trail_) trail_->push_back(state_);
        }
        // An assignment, which changes nothing when the field holds the value.
        template <class T, class V>
        void set(T State::*field, V&& value) {
            if (state_.*field == value) return;
            apply([&](State& s) { s.*field = std::forward<V>(value); });
        }

    private:
        State& state_;
        // The state before the first change, then after each; a trail that
        // goes on from an earlier section already ends with the state.
        std::vector<State>* trail_;
    };

    std::mutex mutex;
    State state;
    StateChangeCallback callback;  // set once, before any callback can run
    // Where the segments confirmed in the capture under way begin: earlier
    // ones lie on other captures' timelines.
    size_t sessionConfirmedStart = 0;
    // The capture the state belongs to; each start begins the next one.
    uint64_t capture = 0;
    // Ends the turns of the capture under way: its pause, its pass.
    std::stop_source turns;
    // Whether the loop is inside a pass, which a new start lets end.
    bool passUnderWay = false;
    // The thread running the loop, while one runs: one at a time.
    std::optional<std::thread::id> loopThread;
    // Wakes the loops waiting for their turn: the loop left, or a later start
    // took their place.
    std::condition_variable loopChanged;

    // Reads and changes the state in one locked section, adding to `trail`
    // the states the observer is to hear of.
    void change(std::vector<State>& trail, const std::function<void(Changes&)>& body) {
        std::lock_guard lock(mutex);
        Changes changes(state, callback ? &trail : nullptr);
        body(changes);
    }
    // Tells the observer of every change, in order; called holding no lock.
    void tell(const std::vector<State>& trail) {
        for (size_t i = 1; i < trail.size(); ++i) callback(trail[i - 1], trail[i]);
    }
    void transaction(const std::function<void(Changes&)>& body) {
        std::vector<State> trail;
        change(trail, body);
        tell(trail);
    }
    // A transaction on behalf of one capture: it changes nothing once a
    // later start has begun another.
    void transactionOf(uint64_t owner, const std::function<void(Changes&)>& body) {
        transaction([&](Changes& changes) {
            if (capture == owner) body(changes);
        });
    }
    bool isCurrent(uint64_t owner) {
        std::lock_guard lock(mutex);
        return capture == owner;
    }
    bool isRecordingIn(uint64_t owner) {
        std::lock_guard lock(mutex);
        return capture == owner && state.isRecording;
    }
    bool runsTheLoop() {
        std::lock_guard lock(mutex);
        return loopThread == std::this_thread::get_id();
    }
    // Waits for the loop of an earlier capture to leave, then runs it on
    // this thread; none when a later start took the place meanwhile. Gives
    // where the capture's confirmed segments begin, after any that the
    // earlier capture's last pass kept.
    std::optional<size_t> enterLoop(uint64_t owner) {
        std::unique_lock lock(mutex);
        loopChanged.wait(lock, [&] { return !loopThread || capture != owner; });
        if (capture != owner) return std::nullopt;
        loopThread = std::this_thread::get_id();
        return sessionConfirmedStart;
    }
    void leaveLoop() {
        {
            std::lock_guard lock(mutex);
            loopThread.reset();
        }
        loopChanged.notify_all();
    }

    // Begins a pass of `owner` over its first `sampleCount` samples, unless
    // a later start has taken over since.
    bool beginPass(uint64_t owner, int64_t sampleCount) {
        bool begun = false;
        transactionOf(owner, [&](Changes& changes) {
            changes.set(&State::lastBufferSize, sampleCount);
            passUnderWay = begun = true;
        });
        return begun;
    }
    void endPass() {
        std::lock_guard lock(mutex);
        passUnderWay = false;
    }

    // Holding the lock: keeps what the last pass of an ended capture, whose
    // confirmed segments begin at `runStart`, confirmed. They go before those
    // of the capture under way, and nothing else of its state changes: its
    // confirmed point and tail lie on its own timeline.
    void keepEndedPass(Changes& changes, size_t runStart, const std::vector<TranscriptionSegment>& confirmed) {
        const size_t at = std::min(sessionConfirmedStart, changes.state().confirmedSegments.size());
        if (holdsRun(changes.state().confirmedSegments, runStart, at, confirmed)) return;
        changes.apply([&](State& s) {
            s.confirmedSegments.insert(s.confirmedSegments.begin() + static_cast<long>(at), confirmed.begin(),
                                       confirmed.end());
        });
        sessionConfirmedStart = at + confirmed.size();
    }

    template <class F>
    auto read(F&& reader) {
        std::lock_guard lock(mutex);
        return reader(std::as_const(state));
    }
    State snapshot() {
        return read([](const State& s) { return s; });
    }

    void progress(uint64_t owner, const TranscriptionProgress& report) {
        const auto fallbacks = static_cast<int64_t>(report.timings.totalDecodingFallbacks);
        bool fellBack = false;
        // Reports of one pass run concurrently: each decides on the text the
        // one before it left. A late report of an ended capture's pass
        // changes nothing.
        transactionOf(owner, [&](Changes& changes) {
            const State& now = changes.state();
            if (platform::graphemeCount(report.text) < platform::graphemeCount(now.currentText)) {
                if (now.currentFallbacks != fallbacks) {
                    fellBack = true;
                } else {
                    changes.apply([](State& s) { s.unconfirmedText.push_back(s.currentText); });
                }
            }
            changes.set(&State::currentText, report.text);
            changes.set(&State::currentFallbacks, fallbacks);
        });
        if (fellBack) engine_log::info("Fallback occured: " + platform::formatInteger(fallbacks));
    }

    // Brings `bufferEnergy` level with the processor's readings, copying
    // only those it does not hold yet.
    void mirrorEnergy(const AudioProcessing& processor) {
        const auto known = read([](const State& s) { return s.bufferEnergy.size(); });
        auto fresh = processor.relativeEnergySince(static_cast<int64_t>(known));
        if (fresh.empty()) return;
        transaction([&](Changes& changes) {
            // A start emptied it meanwhile: the next buffer reads again.
            if (changes.state().bufferEnergy.size() != known) return;
            changes.apply([&](State& s) { s.bufferEnergy.insert(s.bufferEnergy.end(), fresh.begin(), fresh.end()); });
        });
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

bool AudioStreamTranscriber::isRecording() const {
    return shared_->read([](const State& s) { return s.isRecording; });
}

void AudioStreamTranscriber::startStreamTranscription(std::stop_token stop) {
    if (isRecording()) return;
    if (!AudioProcessor::requestRecordPermission(*audioSystem_)) {
        engine_log::error("Microphone access was not granted.");
        return;
    }
    // The loop cannot leave while its own thread waits here for it.
    if (shared_->runsTheLoop())
        throw WhisperError::transcriptionFailed("Realtime transcription cannot start again from its own loop");
    const auto capture = beginCapture();
    if (!capture) return;
    engine_log::info("Realtime transcription has started");
    runLoop(*capture, stop);
}

std::optional<AudioStreamTranscriber::Capture> AudioStreamTranscriber::beginCapture() {
    std::optional<Capture> capture;
    std::stop_source previousTurns;
    bool previousPassUnderWay = false;
    std::vector<State> heard;
    std::exception_ptr failure;
    {
        std::lock_guard control(control_);
        shared_->change(heard, [&](Shared::Changes& changes) {
            if (changes.state().isRecording) return;
            previousTurns = std::exchange(shared_->turns, std::stop_source());
            previousPassUnderWay = shared_->passUnderWay;
            capture = Capture{++shared_->capture, shared_->turns};
            // The processor empties its samples and energies when capture
            // starts: the new capture is transcribed on a timeline of its
            // own, from its first sample. What earlier captures confirmed
            // stays confirmed.
            changes.apply([](State& s) {
                s.isRecording = true;
                s.lastBufferSize = 0;
                s.lastConfirmedSegmentEndSeconds = 0;
                s.bufferEnergy.clear();
            });
            shared_->sessionConfirmedStart = changes.state().confirmedSegments.size();
        });
        if (!capture) return std::nullopt;
        // The capture before, stopped, may still be inside a pass: that pass
        // runs to its end and keeps what it confirmed, and the new loop begins
        // after it. Anything else of that capture's loop ends now, and loops
        // still waiting for their turn give it up.
        if (!previousPassUnderWay) previousTurns.request_stop();
        shared_->loopChanged.notify_all();
        failure = startCapturing(heard);
    }
    shared_->tell(heard);
    if (failure) std::rethrow_exception(failure);
    return capture;
}

std::exception_ptr AudioStreamTranscriber::startCapturing(std::vector<State>& heard) {
    const std::weak_ptr<Shared> weakShared = shared_;
    const std::weak_ptr<AudioProcessing> weakProcessor = audioProcessor_;
    try {
        audioProcessor_->startRecordingLive(inputDeviceID_, [weakShared, weakProcessor](const std::vector<float>&) {
            const auto shared = weakShared.lock();
            const auto processor = weakProcessor.lock();
            if (shared && processor) shared->mirrorEnergy(*processor);
        });
        return nullptr;
    } catch (...) {
        shared_->change(heard, [](Shared::Changes& changes) { changes.set(&State::isRecording, false); });
        return std::current_exception();
    }
}

void AudioStreamTranscriber::runLoop(Capture capture, std::stop_token stop) {
    const auto confirmedStart = shared_->enterLoop(capture.id);
    if (!confirmedStart) return;
    struct Leave {
        Shared& shared;
        ~Leave() { shared.leaveLoop(); }
    } leave{*shared_};
    loopCapture_ = capture.id;
    loopConfirmedStart_ = *confirmedStart;
    const std::stop_callback forward(stop, [turns = capture.turns]() mutable { turns.request_stop(); });
    const auto turns = capture.turns.get_token();
    while (shared_->isRecordingIn(capture.id)) {
        try {
            if (turns.stop_requested()) throw platform::CancellationError();
            transcribeCurrentBuffer(turns);
        } catch (const std::exception& error) {
            endAfterFailure(capture.id, error);
            break;
        }
    }
}

void AudioStreamTranscriber::endAfterFailure(uint64_t capture, const std::exception& error) {
    std::vector<State> heard;
    {
        std::lock_guard control(control_);
        const bool current = shared_->isCurrent(capture);
        // A later start ended this capture's waiting: nothing failed.
        if (!current && dynamic_cast<const platform::CancellationError*>(&error)) return;
        engine_log::error("Error: " + platform::localizedDescription(error));
        // The last pass of a capture a later start ended: the new one goes on.
        if (!current) return;
        stopCapture(heard);
    }
    shared_->tell(heard);
    engine_log::info("Realtime transcription has ended");
}

void AudioStreamTranscriber::stopStreamTranscription() {
    std::vector<State> heard;
    {
        std::lock_guard control(control_);
        stopCapture(heard);
    }
    shared_->tell(heard);
    engine_log::info("Realtime transcription has ended");
}

void AudioStreamTranscriber::stopCapture(std::vector<State>& heard) {
    shared_->change(heard, [](Shared::Changes& changes) { changes.set(&State::isRecording, false); });
    audioProcessor_->stopRecording();
}

void AudioStreamTranscriber::pause(std::stop_token stop) {
    std::mutex mutex;
    std::unique_lock lock(mutex);
    std::condition_variable_any().wait_for(lock, stop, std::chrono::milliseconds(100), [] { return false; });
    if (stop.stop_requested()) throw platform::CancellationError();
}

bool AudioStreamTranscriber::voiceDetected(float newSeconds) const {
    // The check looks at the newest readings only: only those are copied.
    const int64_t recent = AudioEnergy::recentBufferCount(newSeconds);
    const int64_t count = audioProcessor_->relativeEnergyCount();
    const auto energies = audioProcessor_->relativeEnergySince(count > recent ? count - recent : 0);
    return AudioEnergy::isVoiceDetected(energies, newSeconds, silenceThreshold_);
}

void AudioStreamTranscriber::transcribeCurrentBuffer(std::stop_token stop) {
    // A turn with nothing to do copies no sample: it reads their count.
    const int64_t count = audioProcessor_->audioSampleCount();
    const auto [lastBufferSize, confirmedPoint] = shared_->read(
        [](const State& s) { return std::pair{s.lastBufferSize, s.lastConfirmedSegmentEndSeconds}; });
    const float newSeconds = static_cast<float>(count - lastBufferSize) / static_cast<float>(Constants::sampleRate);
    auto waitForSpeech = [&] {
        shared_->transactionOf(loopCapture_, [](Shared::Changes& changes) {
            if (changes.state().currentText.empty()) changes.set(&State::currentText, waitingText);
        });
        pause(stop);
    };
    if (newSeconds <= 1.0f) return waitForSpeech();
    if (useVAD_ && !voiceDetected(newSeconds)) {
        // The silent audio stays new: it counts again at the next turn.
        engine_log::debug("No voice detected, skipping transcribe");
        return waitForSpeech();
    }
    // Only the samples from the confirmed point on are copied for the pass.
    const int64_t firstSample = firstSampleOfPass(confirmedPoint, count);
    const auto samples = audioProcessor_->audioSamplesBetween(firstSample, count);
    // A start empties the samples once it has taken over: the copy is this
    // capture's when none has since.
    if (!shared_->beginPass(loopCapture_, count)) return;
    std::shared_ptr<TranscriptionResult> result;
    try {
        result = transcribeAudioSamples(samples, firstSample, stop);
    } catch (...) {
        shared_->endPass();
        throw;
    }
    applyPass(result->segments(), confirmedPoint);
}

void AudioStreamTranscriber::applyPass(const std::vector<TranscriptionSegment>& segments, float confirmedPoint) {
    // All but the last `required` segments are candidates; they confirm when
    // the last of them ends past the confirmed point.
    const auto required = static_cast<size_t>(std::max<int64_t>(requiredSegmentsForConfirmation_, 0));
    const auto split = segments.end() - static_cast<long>(std::min(required, segments.size()));
    const std::vector<TranscriptionSegment> candidates(segments.begin(), split);
    const bool confirms = !candidates.empty() && candidates.back().end > confirmedPoint;
    shared_->transaction([&](Shared::Changes& changes) {
        shared_->passUnderWay = false;
        if (shared_->capture != loopCapture_) {
            if (confirms) shared_->keepEndedPass(changes, loopConfirmedStart_, candidates);
            return;
        }
        changes.set(&State::currentText, std::string());
        changes.set(&State::unconfirmedText, std::vector<std::string>());
        if (confirms) {
            changes.apply([&](State& s) {
                s.lastConfirmedSegmentEndSeconds = candidates.back().end;
                // Only this capture's confirmed run can hold the candidates again.
                if (!holdsRun(s.confirmedSegments, loopConfirmedStart_, s.confirmedSegments.size(), candidates))
                    s.confirmedSegments.insert(s.confirmedSegments.end(), candidates.begin(), candidates.end());
            });
        }
        changes.set(&State::unconfirmedSegments, std::vector<TranscriptionSegment>(split, segments.end()));
    });
}

std::shared_ptr<TranscriptionResult> AudioStreamTranscriber::transcribeAudioSamples(const std::vector<float>& samples,
                                                                                    int64_t firstSample,
                                                                                    std::stop_token stop) {
    DecodingOptions options = decodingOptions_;
    // The samples begin at the confirmed point: the pass runs over all of them.
    options.clipTimestamps = {0.0f};
    const std::weak_ptr<Shared> weakShared = shared_;
    const int64_t window = compressionCheckWindow_;
    const uint64_t capture = loopCapture_;
    auto callback = [weakShared, options, window, capture](const TranscriptionProgress& progress) -> std::optional<bool> {
        if (const auto shared = weakShared.lock()) shared->progress(capture, progress);
        if (shouldStopEarly(progress, options, window)) return false;
        return std::nullopt;
    };
    auto result = transcribeTask_->run(samples, options, callback, stop);
    if (firstSample != 0)
        result->modifySegments([&](std::vector<TranscriptionSegment>& segments) {
            segments = shiftedSegments(std::move(segments), firstSample);
        });
    return result;
}

void AudioStreamTranscriber::onProgressCallback(const TranscriptionProgress& progress) {
    shared_->progress(loopCapture_, progress);
}

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
