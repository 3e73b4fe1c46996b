#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
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
#include "ZezeziCore/External/Hub/Progress.hpp"
#include "platform/ml/Half.hpp"

namespace DovuzudUza {

// Turns one array of 16 kHz mono samples into one transcription result,
// window by window: fit the window, log-mel spectrogram, encoder, decoding
// with temperature fallback, segments and the next seek position, optional
// word timings. The transcript text comes from the kept segments' tokens.
// Timings and counters accumulate in `timings` across runs. A task runs one
// call at a time; its fields must not change while it runs.
class TranscribeTask {
public:
    using ProgressCallback = TextDecoding::ProgressCallback;
    using SegmentDiscoveryCallback = std::function<void(const std::vector<TranscriptionSegment>&)>;

    // Absent progress: a new one; absent audio processor: a new
    // AudioProcessor. The encoder, feature extractor, seeker, decoder and
    // tokenizer are required (std::invalid_argument when absent).
    TranscribeTask(TranscriptionTimings currentTimings, std::shared_ptr<Hub::Progress> progress,
                   std::shared_ptr<AudioProcessing> audioProcessor, std::shared_ptr<AudioEncoding> audioEncoder,
                   std::shared_ptr<FeatureExtracting> featureExtractor, std::shared_ptr<SegmentSeeking> segmentSeeker,
                   std::shared_ptr<TextDecoding> textDecoder, std::shared_ptr<WhisperTokenizer> tokenizer);
    virtual ~TranscribeTask() = default;

    const TranscriptionTimings& timings() const { return timings_; }
    void setTimings(TranscriptionTimings timings) { timings_ = timings; }
    const std::shared_ptr<WhisperTokenizer>& tokenizer() const { return tokenizer_; }
    void setTokenizer(std::shared_ptr<WhisperTokenizer> tokenizer);
    const SegmentDiscoveryCallback& segmentDiscoveryCallback() const { return segmentDiscoveryCallback_; }
    // Receives each window's final segments, on the task's own thread,
    // before the next window starts.
    void setSegmentDiscoveryCallback(SegmentDiscoveryCallback callback) { segmentDiscoveryCallback_ = std::move(callback); }

    const std::shared_ptr<Hub::Progress>& progress() const { return progress_; }
    const std::shared_ptr<AudioEncoding>& audioEncoder() const { return audioEncoder_; }
    const std::shared_ptr<FeatureExtracting>& featureExtractor() const { return featureExtractor_; }
    const std::shared_ptr<SegmentSeeking>& segmentSeeker() const { return segmentSeeker_; }
    const std::shared_ptr<TextDecoding>& textDecoder() const { return textDecoder_; }
    const std::shared_ptr<AudioProcessing>& audioProcessor() const { return audioProcessor_; }

    // The progress callback is handed on to the decoder, which calls it from
    // other threads (possibly late) with the window's id filled in; false
    // stops that decoding attempt early. Throws WhisperError, the stages'
    // own errors, or platform::CancellationError once `stop` is requested.
    std::shared_ptr<TranscriptionResult> run(std::span<const float> audioArray,
                                             std::optional<DecodingOptions> decodeOptions = std::nullopt,
                                             ProgressCallback callback = nullptr, std::stop_token stop = {});

    // Hooks for a subclass: look at a fitted window before its spectrogram,
    // rewrite a window's segments. They do nothing by default.
    virtual void windowPreprocess(const AudioProcessorOutputType& window, int64_t seek, int64_t segmentSize);
    virtual std::vector<TranscriptionSegment> windowPostProcess(int64_t seek, int64_t segmentSize,
                                                                std::vector<TranscriptionSegment> originalSegments);

    // The result: text from the tokens below the special ones (spaces and
    // tabs trimmed, line breaks kept), the language or "en", no seek time.
    virtual std::shared_ptr<TranscriptionResult> finalizeTranscriptionResult(
        const std::vector<int64_t>& tokens, const std::vector<TranscriptionSegment>& segments,
        const std::optional<std::string>& language, const TranscriptionTimings& timings);

    // One window: decodes at the base temperature and again at each higher
    // one while the decoder's verdict asks for it, each time with a fresh
    // greedy sampler and rewound inputs (detecting the language first when
    // the model is multilingual, no language is given and detection is on).
    // Returns the last attempt's result; "Decoding failed" when none ran.
    virtual DecodingResult decodeWithFallback(const AudioEncoderOutputType& encoderSegment,
                                              const DecodingOptions& decodingOptions,
                                              std::shared_ptr<DecodingInputsType>& decoderInputs,
                                              std::optional<std::string>& detectedLanguage, ProgressCallback callback,
                                              std::stop_token stop = {});

    // The temperatures of the attempts: base + increment x i for i in
    // 0 ... fallbackCount, each operation rounded to half precision.
    static std::vector<platform::ml::Half> temperatureSchedule(const DecodingOptions& options);

private:
    TranscriptionTimings timings_;
    std::shared_ptr<Hub::Progress> progress_;
    std::shared_ptr<AudioEncoding> audioEncoder_;
    std::shared_ptr<FeatureExtracting> featureExtractor_;
    std::shared_ptr<SegmentSeeking> segmentSeeker_;
    std::shared_ptr<TextDecoding> textDecoder_;
    std::shared_ptr<AudioProcessing> audioProcessor_;
    std::shared_ptr<WhisperTokenizer> tokenizer_;
    SegmentDiscoveryCallback segmentDiscoveryCallback_;
};

}  // namespace DovuzudUza
