// The engine's model lifecycle: which folder it loads from, loading and
// prewarming the three models and the tokenizer, unloading.

#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "DovuzudUza/Core/EngineLog.hpp"
#include "DovuzudUza/Core/ModelUtilities.hpp"
#include "DovuzudUza/Core/WhisperMLModel.hpp"
#include "ZezeziCore/External/Hub/HubApiWrapper.hpp"
#include "ZezeziCore/ModelUtilities.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/foundation/Date.hpp"

namespace DovuzudUza {

namespace fs = std::filesystem;
using ZezeziCore::ModelState;

namespace {

constexpr int64_t kEnglishOnlyVocabulary = 51864;

std::string seconds(double value) { return platform::formatFixed(value, 2) + "s"; }

void checkStop(std::stop_token stop) {
    if (stop.stop_requested()) throw platform::CancellationError();
}

}  // namespace

void DovuzudUza::setupModels(const std::optional<std::string>& model, const std::optional<fs::path>& downloadBase,
                             const std::optional<std::string>& modelRepo, const std::optional<std::string>& modelToken,
                             const std::optional<std::string>& modelFolder, bool download,
                             const std::string& remoteConfigName, const std::string& endpoint, std::stop_token stop) {
    if (modelFolder) {
        setModelFolder(fs::path(*modelFolder));
        return;
    }
    if (!download) return;
    const std::string repo = modelRepo.value_or(DovuzudUzaConfig::defaultModelRepo);
    const std::string variant =
        model ? *model
              : fetchModelSupportConfig(repo, downloadBase, modelToken, remoteConfigName, endpoint,
                                        useBackgroundDownloadSession())
                    .modelSupport(deviceName())
                    .defaultModel;
    try {
        setModelFolder(DovuzudUza::download(variant, downloadBase, useBackgroundDownloadSession(), repo, modelToken,
                                            endpoint, {}, {}, stop));
    } catch (const platform::CancellationError&) {
        throw;
    } catch (const std::exception& error) {
        const auto* described = dynamic_cast<const platform::Error*>(&error);
        throw WhisperError::modelsUnavailable(
            "Model not found. Please check the model or repo name and try again.\nError: " +
            (described ? described->description() : std::string(error.what())));
    }
}

void DovuzudUza::prewarmModels(std::stop_token stop) { loadModels(true, stop); }

void DovuzudUza::loadModels(bool prewarmMode, std::stop_token stop) {
    std::lock_guard serial(lifecycleMutex_);
    setModelState(prewarmMode ? ModelState::prewarming : ModelState::loading);
    const double start = platform::monotonicSeconds();
    const auto folder = modelFolder();
    if (!folder) throw WhisperError::modelsUnavailable("Model folder is not set.");
    engine_log::debug("Loading models from " + folder->string() + " with prewarmMode: " +
                      (prewarmMode ? "true" : "false"));

    const fs::path melUrl = ZezeziCore::ModelUtilities::detectModelURL(*folder, "MelSpectrogram");
    const fs::path encoderUrl = ZezeziCore::ModelUtilities::detectModelURL(*folder, "AudioEncoder");
    const fs::path decoderUrl = ZezeziCore::ModelUtilities::detectModelURL(*folder, "TextDecoder");
    for (const auto& url : {melUrl, encoderUrl, decoderUrl}) {
        std::error_code ignored;
        if (!fs::exists(url, ignored)) throw WhisperError::modelsUnavailable("Model file not found at " + url.string());
    }

    const auto compute = modelCompute();
    const auto melStage = featureExtractor();
    const auto decoderStage = textDecoder();
    const auto encoderStage = audioEncoder();
    if (auto* mel = dynamic_cast<WhisperMLModel*>(melStage.get())) {
        engine_log::debug("Loading feature extractor");
        mel->loadModel(melUrl, compute.melCompute, prewarmMode, stop);
        engine_log::debug("Loaded feature extractor");
    }
    // The decoder and the encoder record their load (or prewarm) time.
    auto loadTimed = [&](WhisperMLModel* stage, const char* what,
                         const fs::path& url, platform::ml::ComputeUnits units, double TranscriptionTimings::*loadTime,
                         double TranscriptionTimings::*specializationTime) {
        checkStop(stop);
        if (!stage) return;
        engine_log::debug(std::string("Loading ") + what);
        const double begin = platform::monotonicSeconds();
        stage->loadModel(url, units, prewarmMode, stop);
        const double elapsed = platform::monotonicSeconds() - begin;
        modifyCurrentTimings([&](TranscriptionTimings& t) { t.*(prewarmMode ? specializationTime : loadTime) = elapsed; });
        engine_log::debug(std::string("Loaded ") + what + " in " + seconds(elapsed));
    };
    loadTimed(dynamic_cast<WhisperMLModel*>(decoderStage.get()), "text decoder", decoderUrl,
              compute.textDecoderCompute, &TranscriptionTimings::decoderLoadTime,
              &TranscriptionTimings::decoderSpecializationTime);
    loadTimed(dynamic_cast<WhisperMLModel*>(encoderStage.get()), "audio encoder", encoderUrl,
              compute.audioEncoderCompute, &TranscriptionTimings::encoderLoadTime,
              &TranscriptionTimings::encoderSpecializationTime);

    if (prewarmMode) {
        setModelState(ModelState::prewarmed);
        modifyCurrentTimings([&](TranscriptionTimings& t) { t.prewarmLoadTime = platform::monotonicSeconds() - start; });
        return;
    }
    loadTokenizerIfNeeded();
    setModelState(ModelState::loaded);
    double total = 0;
    modifyCurrentTimings([&](TranscriptionTimings& t) {
        t.modelLoading = (platform::monotonicSeconds() - start) + t.prewarmLoadTime;
        total = t.modelLoading;
    });
    engine_log::info("Loaded models in " + seconds(total));
}

void DovuzudUza::loadTokenizerIfNeeded() {
    if (tokenizer()) {
        engine_log::debug("Tokenizer already exists on DovuzudUza, skipping load");
        return;
    }
    const auto decoder = textDecoder();
    const auto encoder = audioEncoder();
    const std::optional<int64_t> logitsSize = decoder ? decoder->logitsSize() : std::nullopt;
    const std::optional<int64_t> embedSize = encoder ? encoder->embedSize() : std::nullopt;
    if (!logitsSize || !embedSize) throw WhisperError(WhisperError::Kind::tokenizerUnavailable, "Tokenizer is unavailable");
    const int64_t logits = *logitsSize;
    const int64_t width = *embedSize;

    decoder->setIsModelMultilingual(logits != kEnglishOnlyVocabulary);
    const ModelVariant variant = ModelUtilities::detectVariant(logits, width);
    setModelVariant(variant);
    engine_log::info("Loading tokenizer for whisper size: " + description(variant));
    const double begin = platform::monotonicSeconds();

    std::vector<fs::path> searchPaths;
    if (const auto folder = modelFolder()) {
        const Hub::HubApiWrapper local(*folder);
        searchPaths = {*folder, local.localRepoLocation(Hub::HubApiWrapper::Repo(
                                    ModelUtilities::tokenizerNameForVariant(variant), Hub::HubApiWrapper::RepoType::models))};
    }
    auto loaded = ModelUtilities::loadTokenizer(variant, tokenizerFolder(), searchPaths, useBackgroundDownloadSession());
    const double elapsed = platform::monotonicSeconds() - begin;
    modifyCurrentTimings([&](TranscriptionTimings& t) { t.tokenizerLoadTime = elapsed; });
    setTokenizer(std::move(loaded));
    engine_log::debug("Loaded tokenizer in " + seconds(elapsed));
}

void DovuzudUza::unloadModels() {
    std::lock_guard serial(lifecycleMutex_);
    setModelState(ModelState::unloading);
    const auto mel = featureExtractor();
    const auto encoder = audioEncoder();
    const auto decoder = textDecoder();
    for (auto* stage : {dynamic_cast<WhisperMLModel*>(mel.get()), dynamic_cast<WhisperMLModel*>(encoder.get()),
                        dynamic_cast<WhisperMLModel*>(decoder.get())}) {
        if (stage) stage->unloadModel();
    }
    setModelState(ModelState::unloaded);
    engine_log::info("Unloaded all models");
}

void DovuzudUza::clearState() {
    if (auto processor = audioProcessor()) processor->stopRecording();
    modifyCurrentTimings([](TranscriptionTimings& t) { t = TranscriptionTimings(); });
}

void DovuzudUza::loggingCallback(ZezeziCore::Logging::Callback callback) {
    ZezeziCore::Logging::updateCallback(std::move(callback));
}

}  // namespace DovuzudUza
