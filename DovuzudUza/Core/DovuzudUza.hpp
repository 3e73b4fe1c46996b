#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "DovuzudUza/Core/Audio/AudioInputOptions.hpp"
#include "DovuzudUza/Core/Audio/IncrementalFileLoading.hpp"
#include "DovuzudUza/Core/Audio/VADAudioChunker.hpp"
#include "DovuzudUza/Core/Audio/VoiceActivityDetector.hpp"
#include "DovuzudUza/Core/AudioEncoding.hpp"
#include "DovuzudUza/Core/AudioProcessing.hpp"
#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/DecodingOptions.hpp"
#include "DovuzudUza/Core/DovuzudUzaConfig.hpp"
#include "DovuzudUza/Core/FeatureExtracting.hpp"
#include "DovuzudUza/Core/ModelComputeOptions.hpp"
#include "DovuzudUza/Core/ModelSupport.hpp"
#include "DovuzudUza/Core/ModelVariant.hpp"
#include "DovuzudUza/Core/SegmentSeeking.hpp"
#include "DovuzudUza/Core/TextDecoding.hpp"
#include "DovuzudUza/Core/TranscriptionResult.hpp"
#include "DovuzudUza/Core/WhisperTokenizer.hpp"
#include "ZezeziCore/External/Hub/Progress.hpp"
#include "ZezeziCore/ModelState.hpp"

namespace DovuzudUza {

class TranscribeTask;

using TranscriptionResults = std::vector<std::shared_ptr<TranscriptionResult>>;
// The results of one input, or the error that ended it.
using TranscriptionOutcome = ChunkTranscriptionResult;
// Told each window's progress; false asks decoding to stop. May run on any thread.
using TranscriptionCallback = TextDecoding::ProgressCallback;
// Told each window's new segments. May run on several threads at once.
using SegmentDiscoveryCallback = std::function<void(const std::vector<TranscriptionSegment>&)>;
using ModelStateCallback = std::function<void(std::optional<ZezeziCore::ModelState> oldState,
                                              ZezeziCore::ModelState newState)>;
using TranscriptionStateCallback = std::function<void(TranscriptionState)>;
using ProgressCallback = std::function<void(const Hub::Progress&)>;

// The speech engine: its stages, model folder and state, tokenizer, timings
// and observers. Build it with `create`, which runs the start-up road
// (finding or fetching the model folder, prewarming, loading). Operations
// that wait take a stop token; a stopped one ends with CancellationError.
//
// The transcription roads may run on several threads at once on one engine
// (the batch roads do): model loading is serialised and the progress tree is
// guarded. Replacing a stage or callback while a transcription runs takes
// effect from the next run.
class DovuzudUza {
public:
    static constexpr int64_t sampleRate = Constants::sampleRate;
    static constexpr int64_t hopLength = 160;
    static constexpr float secondsPerTimeToken = 0.02f;
    static constexpr bool isRunningOnSimulator = false;
    // The machine's model identifier, used to pick recommended models.
    static std::string deviceName();

    // Steps that cannot fail: stages, compute units, options, log level.
    // `start` does the rest; `create` does both.
    explicit DovuzudUza(const DovuzudUzaConfig& config);
    virtual ~DovuzudUza();
    DovuzudUza(const DovuzudUza&) = delete;
    DovuzudUza& operator=(const DovuzudUza&) = delete;

    static std::shared_ptr<DovuzudUza> create(const DovuzudUzaConfig& config, std::stop_token stop = {});
    // The same with an engine type of the caller's (one that overrides operations).
    template <class Engine, class... Extra>
    static std::shared_ptr<Engine> create(const DovuzudUzaConfig& config, Extra&&... extra) {
        auto engine = std::make_shared<Engine>(config, std::forward<Extra>(extra)...);
        engine->start(config);
        return engine;
    }
    // Finds or downloads the model folder, then prewarms and loads as the
    // configuration asks. Throws what those operations throw.
    void start(const DovuzudUzaConfig& config, std::stop_token stop = {});

    // --- Fields ----------------------------------------------------------
    ModelVariant modelVariant() const;
    ZezeziCore::ModelState modelState() const;
    ModelComputeOptions modelCompute() const;
    void setModelCompute(ModelComputeOptions compute);
    AudioInputOptions audioInputOptions() const;
    void setAudioInputOptions(AudioInputOptions options);
    // A second name for audioInputOptions.
    AudioInputOptions audioInputConfig() const { return audioInputOptions(); }
    void setAudioInputConfig(AudioInputOptions options) { setAudioInputOptions(std::move(options)); }
    std::shared_ptr<WhisperTokenizer> tokenizer() const;
    // Also becomes the text decoder's tokenizer.
    void setTokenizer(std::shared_ptr<WhisperTokenizer> tokenizer);
    std::shared_ptr<AudioProcessing> audioProcessor() const;
    void setAudioProcessor(std::shared_ptr<AudioProcessing> stage);
    std::shared_ptr<FeatureExtracting> featureExtractor() const;
    void setFeatureExtractor(std::shared_ptr<FeatureExtracting> stage);
    std::shared_ptr<AudioEncoding> audioEncoder() const;
    void setAudioEncoder(std::shared_ptr<AudioEncoding> stage);
    std::shared_ptr<TextDecoding> textDecoder() const;
    void setTextDecoder(std::shared_ptr<TextDecoding> stage);
    std::shared_ptr<SegmentSeeking> segmentSeeker() const;
    void setSegmentSeeker(std::shared_ptr<SegmentSeeking> stage);
    std::shared_ptr<VoiceActivityDetector> voiceActivityDetector() const;
    void setVoiceActivityDetector(std::shared_ptr<VoiceActivityDetector> detector);
    TranscriptionTimings currentTimings() const;
    std::shared_ptr<Hub::Progress> progress() const;
    std::optional<std::filesystem::path> modelFolder() const;
    void setModelFolder(std::optional<std::filesystem::path> folder);
    std::optional<std::filesystem::path> tokenizerFolder() const;
    void setTokenizerFolder(std::optional<std::filesystem::path> folder);
    bool useBackgroundDownloadSession() const;
    SegmentDiscoveryCallback segmentDiscoveryCallback() const;
    void setSegmentDiscoveryCallback(SegmentDiscoveryCallback callback);
    ModelStateCallback modelStateCallback() const;
    void setModelStateCallback(ModelStateCallback callback);
    TranscriptionStateCallback transcriptionStateCallback() const;
    void setTranscriptionStateCallback(TranscriptionStateCallback callback);

    // --- Model catalogue and download (no engine needed) -----------------
    static ModelSupport recommendedModels();
    static ModelSupport recommendedRemoteModels(const std::string& from,
                                                const std::optional<std::filesystem::path>& downloadBase = std::nullopt,
                                                const std::optional<std::string>& token = std::nullopt,
                                                const std::string& remoteConfigName = "config.json",
                                                const std::string& endpoint = defaultEndpoint(),
                                                bool useBackgroundSession = false);
    static ModelSupportConfig fetchModelSupportConfig(const std::string& from,
                                                      const std::optional<std::filesystem::path>& downloadBase = std::nullopt,
                                                      const std::optional<std::string>& token = std::nullopt,
                                                      const std::string& remoteConfigName = "config.json",
                                                      const std::string& endpoint = defaultEndpoint(),
                                                      bool useBackgroundSession = false);
    static std::vector<std::string> fetchAvailableModels(const std::string& from,
                                                         const std::vector<std::string>& matching = {"*"},
                                                         const std::optional<std::filesystem::path>& downloadBase = std::nullopt,
                                                         const std::optional<std::string>& token = std::nullopt,
                                                         const std::string& remoteConfigName = "config.json",
                                                         const std::string& endpoint = defaultEndpoint());
    // The local folder of a variant of the repository `from`: found in the
    // model catalogue, its checkpoint fetched into the hub cache and
    // converted into "<download base>/models/<from>/<folder>"; a folder there
    // that is whole and loads is returned as it is, and one that is not has
    // only its missing or damaged entries made again. `progress` counts the
    // checkpoint's bytes; `willConvert` is told once they are all there,
    // before the conversion. Throws WhisperError when no single catalogue
    // folder matches (a repository other than the catalogue's has none), and
    // the hub's or converter's errors.
    static std::filesystem::path download(const std::string& variant,
                                          const std::optional<std::filesystem::path>& downloadBase = std::nullopt,
                                          bool useBackgroundSession = false,
                                          const std::string& from = DovuzudUzaConfig::defaultModelRepo,
                                          const std::optional<std::string>& token = std::nullopt,
                                          const std::string& endpoint = defaultEndpoint(),
                                          const ProgressCallback& progressCallback = {},
                                          const std::function<void()>& willConvert = {}, std::stop_token stop = {});
    static std::string defaultEndpoint();

    // --- Model lifecycle -------------------------------------------------
    virtual void setupModels(const std::optional<std::string>& model,
                             const std::optional<std::filesystem::path>& downloadBase,
                             const std::optional<std::string>& modelRepo, const std::optional<std::string>& modelToken,
                             const std::optional<std::string>& modelFolder, bool download,
                             const std::string& remoteConfigName, const std::string& endpoint,
                             std::stop_token stop = {});
    virtual void prewarmModels(std::stop_token stop = {});
    virtual void loadModels(bool prewarmMode = false, std::stop_token stop = {});
    virtual void loadTokenizerIfNeeded();
    virtual void unloadModels();
    virtual void clearState();
    // Process-wide: every later engine log line goes to `callback` (none: the system log).
    virtual void loggingCallback(ZezeziCore::Logging::Callback callback);

    // --- Language detection ----------------------------------------------
    using LanguageDetection = std::pair<std::string, std::map<std::string, float>>;
    virtual LanguageDetection detectLanguage(const std::string& audioPath, std::stop_token stop = {});
    // The name keeps its transposed letters: callers know it by this name.
    virtual LanguageDetection detectLangauge(const std::vector<float>& audioArray, std::stop_token stop = {});

    // --- Transcription roads ---------------------------------------------
    // Files, one outcome per path in path order (never throws).
    virtual std::vector<std::optional<TranscriptionResults>> transcribe(
        const std::vector<std::string>& audioPaths, const std::optional<AudioInputOptions>& audioInputOptions,
        const std::optional<DecodingOptions>& decodeOptions, TranscriptionCallback callback = nullptr,
        std::stop_token stop = {});
    virtual std::vector<TranscriptionOutcome> transcribeWithResults(
        const std::vector<std::string>& audioPaths, const std::optional<AudioInputOptions>& audioInputOptions,
        const std::optional<DecodingOptions>& decodeOptions, TranscriptionCallback callback = nullptr,
        std::stop_token stop = {});
    // Arrays, one outcome per array in input order (never throws).
    virtual std::vector<std::optional<TranscriptionResults>> transcribe(
        const std::vector<std::vector<float>>& audioArrays, const std::optional<DecodingOptions>& decodeOptions,
        TranscriptionCallback callback = nullptr, std::stop_token stop = {});
    virtual std::vector<TranscriptionOutcome> transcribeWithResults(
        const std::vector<std::vector<float>>& audioArrays, const std::optional<DecodingOptions>& decodeOptions,
        TranscriptionCallback callback = nullptr, std::stop_token stop = {});
    virtual std::vector<TranscriptionOutcome> transcribeWithOptions(
        const std::vector<std::vector<float>>& audioArrays,
        const std::vector<std::optional<DecodingOptions>>& decodeOptionsArray,
        const std::optional<std::vector<int64_t>>& seekOffsets = std::nullopt, TranscriptionCallback callback = nullptr,
        std::stop_token stop = {});
    // One file.
    virtual TranscriptionResults transcribe(const std::string& audioPath,
                                            const std::optional<AudioInputOptions>& audioInputOptions,
                                            const std::optional<DecodingOptions>& decodeOptions,
                                            TranscriptionCallback callback = nullptr, std::stop_token stop = {});
    // One array; the dictation road.
    virtual TranscriptionResults transcribe(const std::vector<float>& audioArray,
                                            const std::optional<DecodingOptions>& decodeOptions,
                                            TranscriptionCallback callback = nullptr,
                                            SegmentDiscoveryCallback segmentCallback = nullptr,
                                            std::stop_token stop = {});
    // One array that starts `audioArrayOffset` samples into a longer recording.
    virtual TranscriptionResults transcribe(const std::vector<float>& audioArray, int64_t audioArrayOffset,
                                            const std::optional<DecodingOptions>& decodeOptions,
                                            TranscriptionCallback callback = nullptr,
                                            SegmentDiscoveryCallback segmentCallback = nullptr,
                                            std::stop_token stop = {});
    virtual std::shared_ptr<TranscribeTask> setupTranscribeTask(
        const TranscriptionTimings& currentTimings, std::shared_ptr<Hub::Progress> progress,
        std::shared_ptr<AudioProcessing> audioProcessor, std::shared_ptr<AudioEncoding> audioEncoder,
        std::shared_ptr<FeatureExtracting> featureExtractor, std::shared_ptr<SegmentSeeking> segmentSeeker,
        std::shared_ptr<TextDecoding> textDecoder, std::shared_ptr<WhisperTokenizer> tokenizer);
    virtual TranscriptionResults runTranscribeTask(const std::vector<float>& audioArray,
                                                   const std::optional<DecodingOptions>& decodeOptions,
                                                   TranscriptionCallback callback = nullptr,
                                                   SegmentDiscoveryCallback segmentCallback = nullptr,
                                                   std::stop_token stop = {});

protected:
    // The chunks of a file read piece by piece, transcribed one after another.
    virtual TranscriptionResults transcribeFileStream(const std::shared_ptr<IncrementalChunkStream>& audioStream,
                                                      const std::optional<DecodingOptions>& decodeOptions,
                                                      TranscriptionCallback callback, bool emitStateCallbacks,
                                                      std::stop_token stop = {});

    void setModelState(ZezeziCore::ModelState state);
    void setModelVariant(ModelVariant variant);
    template <class F>
    void modifyCurrentTimings(F&& change) {
        std::lock_guard lock(fieldsMutex_);
        change(currentTimings_);
    }
    void resetProgress();
    // The window length of the mel stage, or the default 30 s window.
    int64_t windowLength() const;
    // The engine's detector, else the default energy detector.
    std::shared_ptr<VoiceActivityDetector> detectorForChunking() const;
    void reportTranscriptionState(TranscriptionState state) const;

private:
    TranscriptionResults transcribeChunked(const std::vector<float>& audioArray, int64_t audioArrayOffset,
                                           const DecodingOptions& decodeOptions, TranscriptionCallback callback,
                                           std::stop_token stop);
    std::vector<TranscriptionOutcome> transcribeFilesWhole(const std::vector<std::string>& audioPaths,
                                                           const AudioInputOptions& options,
                                                           const std::optional<DecodingOptions>& decodeOptions,
                                                           TranscriptionCallback callback, std::stop_token stop);
    std::vector<TranscriptionOutcome> transcribeFilesIncrementally(const std::vector<std::string>& audioPaths,
                                                                   const AudioInputOptions& options,
                                                                   const std::optional<DecodingOptions>& decodeOptions,
                                                                   TranscriptionCallback callback,
                                                                   std::stop_token stop);

    mutable std::mutex fieldsMutex_;
    // One load, prewarm or unload at a time (concurrent transcriptions may
    // each find the models unloaded).
    std::recursive_mutex lifecycleMutex_;

    ModelVariant modelVariant_ = ModelVariant::tiny;
    ZezeziCore::ModelState modelState_ = ZezeziCore::ModelState::unloaded;
    ModelComputeOptions modelCompute_;
    AudioInputOptions audioInputOptions_;
    std::shared_ptr<WhisperTokenizer> tokenizer_;
    std::shared_ptr<AudioProcessing> audioProcessor_;
    std::shared_ptr<FeatureExtracting> featureExtractor_;
    std::shared_ptr<AudioEncoding> audioEncoder_;
    std::shared_ptr<TextDecoding> textDecoder_;
    std::shared_ptr<SegmentSeeking> segmentSeeker_;
    std::shared_ptr<VoiceActivityDetector> voiceActivityDetector_;
    TranscriptionTimings currentTimings_;
    std::shared_ptr<Hub::Progress> progress_ = std::make_shared<Hub::Progress>();
    std::optional<std::filesystem::path> modelFolder_;
    std::optional<std::filesystem::path> tokenizerFolder_;
    bool useBackgroundDownloadSession_ = false;
    SegmentDiscoveryCallback segmentDiscoveryCallback_;
    ModelStateCallback modelStateCallback_;
    TranscriptionStateCallback transcriptionStateCallback_;
};

}  // namespace DovuzudUza
