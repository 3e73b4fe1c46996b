#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "DovuzudUza/Core/AudioEncoding.hpp"
#include "DovuzudUza/Core/AudioProcessing.hpp"
#include "DovuzudUza/Core/DecodingOptions.hpp"
#include "DovuzudUza/Core/FeatureExtracting.hpp"
#include "DovuzudUza/Core/SegmentSeeking.hpp"
#include "DovuzudUza/Core/TextDecoding.hpp"
#include "DovuzudUza/Core/TranscriptionResult.hpp"
#include "DovuzudUza/Core/WhisperTokenizer.hpp"
#include "platform/audio/AudioSystem.hpp"

namespace DovuzudUza {

class TranscribeTask;

// Live transcription of the microphone: re-transcribes everything captured
// since the last confirmed point, over and over, keeping all but the last
// few segments of each pass as confirmed (never revised). Its operations
// run one at a time; every change of the state reaches the callback as
// (old, new), and an assignment that changes nothing is not heard of.
class AudioStreamTranscriber {
public:
    struct State {
        bool isRecording = false;
        int64_t currentFallbacks = 0;
        int64_t lastBufferSize = 0;
        float lastConfirmedSegmentEndSeconds = 0;
        std::vector<float> bufferEnergy;
        std::string currentText;
        std::vector<TranscriptionSegment> confirmedSegments;
        std::vector<TranscriptionSegment> unconfirmedSegments;
        std::vector<std::string> unconfirmedText;

        bool operator==(const State&) const = default;
    };
    using StateChangeCallback = std::function<void(const State& oldState, const State& newState)>;

    static constexpr const char* waitingText = "Waiting for speech...";

    AudioStreamTranscriber(std::shared_ptr<AudioEncoding> audioEncoder, std::shared_ptr<FeatureExtracting> featureExtractor,
                           std::shared_ptr<SegmentSeeking> segmentSeeker, std::shared_ptr<TextDecoding> textDecoder,
                           std::shared_ptr<WhisperTokenizer> tokenizer, std::shared_ptr<AudioProcessing> audioProcessor,
                           DecodingOptions decodingOptions, int64_t requiredSegmentsForConfirmation,
                           float silenceThreshold, int64_t compressionCheckWindow, bool useVAD,
                           std::optional<uint32_t> inputDeviceID, StateChangeCallback stateChangeCallback,
                           // Asked for the permission to record: the sound server unless handed another.
                           std::shared_ptr<platform::audio::AudioSystem> audioSystem = nullptr);
    virtual ~AudioStreamTranscriber();
    AudioStreamTranscriber(const AudioStreamTranscriber&) = delete;
    AudioStreamTranscriber& operator=(const AudioStreamTranscriber&) = delete;

    // Starts capture and runs the loop until stopped (or `stop` is
    // requested); returns when the loop ends. Does nothing while already
    // recording. Throws when capture cannot start, and a WhisperError when
    // called from the loop's own thread (an observer), which would wait on
    // itself. Capture starts at once; a stopped capture's loop that is still
    // inside a pass finishes that pass and keeps what it confirmed, before
    // what the new capture confirms, and the new loop begins once it has
    // left: one loop at a time.
    void startStreamTranscription(std::stop_token stop = {});
    void stopStreamTranscription();

    State state() const;

    // Whether a pass should end at this progress report: the last `window`
    // tokens repeat beyond the options' compression threshold, or the
    // average log-probability is below the options' threshold.
    static bool shouldStopEarly(const TranscriptionProgress& progress, const DecodingOptions& options,
                                int64_t compressionCheckWindow);

protected:
    // One turn of the loop: a pass when more than a second of new audio
    // (with voice, when asked) was captured, else a pause.
    void transcribeCurrentBuffer(std::stop_token stop);
    // One pass over the session's samples from `firstSample` (where the
    // confirmed point lies) to their end; `samples` holds only those. The
    // result's segments are on the session's timeline.
    virtual std::shared_ptr<TranscriptionResult> transcribeAudioSamples(const std::vector<float>& samples,
                                                                        int64_t firstSample, std::stop_token stop);
    // A progress report of the pass under way.
    void onProgressCallback(const TranscriptionProgress& progress);
    // Waits this long between turns with nothing to do.
    virtual void pause(std::stop_token stop);

private:
    struct Shared;
    // A capture begun by a start, and what ends its turns.
    struct Capture {
        uint64_t id;
        std::stop_source turns;
    };
    bool isRecording() const;
    // Starts capture on a state of its own; none while recording.
    std::optional<Capture> beginCapture();
    // Holding `control_`: starts the processor's capture, whose buffers
    // refresh the energies. A failure ends recording and is returned.
    std::exception_ptr startCapturing(std::vector<State>& heard);
    void runLoop(Capture capture, std::stop_token stop);
    // Takes in what the loop's pass from `confirmedPoint` found: its
    // confirmed segments and its tail.
    void applyPass(const std::vector<TranscriptionSegment>& segments, float confirmedPoint);
    // A failed turn: logged, and its capture stopped. A capture a later
    // start ended is not stopped again, and its waiting cut short is no failure.
    void endAfterFailure(uint64_t capture, const std::exception& error);
    // Holding `control_`: ends recording and capture, adding to `heard` the
    // states the observer is to hear of once the lock is released.
    void stopCapture(std::vector<State>& heard);
    bool voiceDetected(float newSeconds) const;

    std::shared_ptr<Shared> shared_;
    int64_t requiredSegmentsForConfirmation_;
    bool useVAD_;
    float silenceThreshold_;
    int64_t compressionCheckWindow_;
    std::shared_ptr<TranscribeTask> transcribeTask_;
    std::shared_ptr<AudioProcessing> audioProcessor_;
    std::shared_ptr<platform::audio::AudioSystem> audioSystem_;
    DecodingOptions decodingOptions_;
    std::optional<uint32_t> inputDeviceID_;
    // Starts and stops one at a time. The observer is told after it is
    // released, so that it may start or stop in turn.
    std::mutex control_;
    uint64_t loopCapture_ = 0;  // the capture of the loop under way
    size_t loopConfirmedStart_ = 0;  // where that capture's confirmed segments begin
};

}  // namespace DovuzudUza
