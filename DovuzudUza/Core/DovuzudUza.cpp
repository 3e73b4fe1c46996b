#include "DovuzudUza/Core/DovuzudUza.hpp"

#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Core/AudioEncoder.hpp"
#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/FeatureExtractor.hpp"
#include "DovuzudUza/Core/SegmentSeeker.hpp"
#include "DovuzudUza/Core/TextDecoder.hpp"
#include "ZezeziCore/External/Hub/Extensions/HostExtensions.hpp"

namespace DovuzudUza {

using ZezeziCore::ModelState;

std::string DovuzudUza::deviceName() { return ZezeziCore::ProcessInfo::hwModel(); }

DovuzudUza::DovuzudUza(const DovuzudUzaConfig& config)
    : modelCompute_(config.resolvedComputeOptions()),
      audioInputOptions_(config.resolvedAudioInputConfig()),
      audioProcessor_(config.audioProcessor ? config.audioProcessor : std::make_shared<AudioProcessor>()),
      featureExtractor_(config.featureExtractor ? config.featureExtractor : std::make_shared<FeatureExtractor>()),
      audioEncoder_(config.audioEncoder ? config.audioEncoder : std::make_shared<AudioEncoder>()),
      textDecoder_(config.textDecoder ? config.textDecoder : std::make_shared<TextDecoder>()),
      segmentSeeker_(config.segmentSeeker ? config.segmentSeeker : std::make_shared<SegmentSeeker>()),
      voiceActivityDetector_(config.voiceActivityDetector),
      tokenizerFolder_(config.tokenizerFolder ? config.tokenizerFolder : config.downloadBase),
      useBackgroundDownloadSession_(config.useBackgroundDownloadSession) {
    // Filters given with the configuration replace the decoder's own, also
    // for a decoder that came with it.
    if (config.logitsFilters) textDecoder_->setLogitsFilters(config.logitsFilters);
    ZezeziCore::Logging::updateLogLevel(config.effectiveLogLevel());
}

DovuzudUza::~DovuzudUza() {
    if (audioProcessor_) audioProcessor_->stopRecording();
}

std::shared_ptr<DovuzudUza> DovuzudUza::create(const DovuzudUzaConfig& config, std::stop_token stop) {
    auto engine = std::make_shared<DovuzudUza>(config);
    engine->start(config, stop);
    return engine;
}

void DovuzudUza::start(const DovuzudUzaConfig& config, std::stop_token stop) {
    setupModels(config.model, config.downloadBase, config.modelRepo, config.modelToken, config.modelFolder,
                config.download, std::string(Constants::defaultRemoteConfigName), config.resolvedModelEndpoint(), stop);
    if (config.prewarmsAtConstruction()) {
        engine_log::info("Prewarming models...");
        prewarmModels(stop);
    }
    if (config.loadsAtConstruction()) {
        engine_log::info("Loading models...");
        loadModels(false, stop);
    }
}

// --- Fields ----------------------------------------------------------------

ModelVariant DovuzudUza::modelVariant() const {
    std::lock_guard lock(fieldsMutex_);
    return modelVariant_;
}

void DovuzudUza::setModelVariant(ModelVariant variant) {
    std::lock_guard lock(fieldsMutex_);
    modelVariant_ = variant;
}

ModelState DovuzudUza::modelState() const {
    std::lock_guard lock(fieldsMutex_);
    return modelState_;
}

void DovuzudUza::setModelState(ModelState state) {
    ModelState old;
    ModelStateCallback callback;
    {
        std::lock_guard lock(fieldsMutex_);
        old = modelState_;
        modelState_ = state;
        callback = modelStateCallback_;
    }
    // Told every write, also of an unchanged state.
    if (callback) callback(old, state);
}

ModelComputeOptions DovuzudUza::modelCompute() const {
    std::lock_guard lock(fieldsMutex_);
    return modelCompute_;
}

void DovuzudUza::setModelCompute(ModelComputeOptions compute) {
    std::lock_guard lock(fieldsMutex_);
    modelCompute_ = compute;
}

AudioInputOptions DovuzudUza::audioInputOptions() const {
    std::lock_guard lock(fieldsMutex_);
    return audioInputOptions_;
}

void DovuzudUza::setAudioInputOptions(AudioInputOptions options) {
    std::lock_guard lock(fieldsMutex_);
    audioInputOptions_ = std::move(options);
}

std::shared_ptr<WhisperTokenizer> DovuzudUza::tokenizer() const {
    std::lock_guard lock(fieldsMutex_);
    return tokenizer_;
}

void DovuzudUza::setTokenizer(std::shared_ptr<WhisperTokenizer> tokenizer) {
    std::shared_ptr<TextDecoding> decoder;
    {
        std::lock_guard lock(fieldsMutex_);
        tokenizer_ = tokenizer;
        decoder = textDecoder_;
    }
    // The decoder always decodes with the engine's tokenizer.
    if (decoder) decoder->setTokenizer(std::move(tokenizer));
}

#define DOVUZUDUZA_FIELD(Type, getter, setter, member)  \
    Type DovuzudUza::getter() const {                   \
        std::lock_guard lock(fieldsMutex_);             \
        return member;                                  \
    }                                                   \
    void DovuzudUza::setter(Type value) {               \
        std::lock_guard lock(fieldsMutex_);             \
        member = std::move(value);                      \
    }

DOVUZUDUZA_FIELD(std::shared_ptr<AudioProcessing>, audioProcessor, setAudioProcessor, audioProcessor_)
DOVUZUDUZA_FIELD(std::shared_ptr<FeatureExtracting>, featureExtractor, setFeatureExtractor, featureExtractor_)
DOVUZUDUZA_FIELD(std::shared_ptr<AudioEncoding>, audioEncoder, setAudioEncoder, audioEncoder_)
DOVUZUDUZA_FIELD(std::shared_ptr<TextDecoding>, textDecoder, setTextDecoder, textDecoder_)
DOVUZUDUZA_FIELD(std::shared_ptr<SegmentSeeking>, segmentSeeker, setSegmentSeeker, segmentSeeker_)
DOVUZUDUZA_FIELD(std::shared_ptr<VoiceActivityDetector>, voiceActivityDetector, setVoiceActivityDetector,
                 voiceActivityDetector_)
DOVUZUDUZA_FIELD(std::optional<std::filesystem::path>, modelFolder, setModelFolder, modelFolder_)
DOVUZUDUZA_FIELD(std::optional<std::filesystem::path>, tokenizerFolder, setTokenizerFolder, tokenizerFolder_)
DOVUZUDUZA_FIELD(SegmentDiscoveryCallback, segmentDiscoveryCallback, setSegmentDiscoveryCallback,
                 segmentDiscoveryCallback_)
DOVUZUDUZA_FIELD(ModelStateCallback, modelStateCallback, setModelStateCallback, modelStateCallback_)
DOVUZUDUZA_FIELD(TranscriptionStateCallback, transcriptionStateCallback, setTranscriptionStateCallback,
                 transcriptionStateCallback_)

#undef DOVUZUDUZA_FIELD

TranscriptionTimings DovuzudUza::currentTimings() const {
    std::lock_guard lock(fieldsMutex_);
    return currentTimings_;
}

std::shared_ptr<Hub::Progress> DovuzudUza::progress() const {
    std::lock_guard lock(fieldsMutex_);
    return progress_;
}

void DovuzudUza::resetProgress() {
    std::lock_guard lock(fieldsMutex_);
    progress_ = std::make_shared<Hub::Progress>();
}

bool DovuzudUza::useBackgroundDownloadSession() const {
    std::lock_guard lock(fieldsMutex_);
    return useBackgroundDownloadSession_;
}

int64_t DovuzudUza::windowLength() const {
    const auto stage = featureExtractor();
    const auto samples = stage ? stage->windowSamples() : std::nullopt;
    return samples.value_or(Constants::defaultWindowSamples);
}

std::shared_ptr<VoiceActivityDetector> DovuzudUza::detectorForChunking() const {
    if (auto detector = voiceActivityDetector()) return detector;
    return std::make_shared<EnergyVAD>(16000, 1600, 0, 0.02f);
}

void DovuzudUza::reportTranscriptionState(TranscriptionState state) const {
    // Read at each report: a callback set during a run is used from then on.
    if (auto callback = transcriptionStateCallback()) callback(state);
}

}  // namespace DovuzudUza
