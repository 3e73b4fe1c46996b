#include "app/Transcription/EngineTranscriber.hpp"

#include <chrono>
#include <cstdlib>
#include <utility>

#include "DovuzudUza/Core/CheckpointInstaller.hpp"
#include "DovuzudUza/Core/Constants.hpp"
#include "app/Support/Log.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/foundation/Trim.hpp"
#include "platform/foundation/Unicode.hpp"

namespace Parlox {

namespace fs = std::filesystem;
using Engine = DovuzudUza::DovuzudUza;

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

EngineTranscriber::~EngineTranscriber() {
    std::jthread task;
    std::jthread ended;
    {
        std::lock_guard lock(mutex_);
        task = std::move(loadTask_);
        ended = std::move(endedLoad_);
    }
    // Leaving the scope stops the load and waits for it.
}

void EngineTranscriber::waitForLoad() {
    std::jthread task;
    std::jthread ended;
    {
        std::lock_guard lock(mutex_);
        task = std::move(loadTask_);
        ended = std::move(endedLoad_);
    }
    if (task.joinable()) task.join();
    if (ended.joinable()) ended.join();
}

fs::path EngineTranscriber::modelsBaseFolder() { return platform::Paths::applicationSupportDirectory() / "Models"; }

fs::path EngineTranscriber::localModelFolder() {
    return modelsBaseFolder() / "models" / modelRepository / (std::string("openai_whisper-") + modelVariant);
}

bool EngineTranscriber::isModelOnDisk() {
    for (const char* entry : {"config.json", "AudioEncoder.mlmodelc", "TextDecoder.mlmodelc", "MelSpectrogram.mlmodelc"}) {
        std::error_code ignored;
        if (!fs::exists(localModelFolder() / entry, ignored)) return false;
    }
    return true;
}

std::string EngineTranscriber::hubEndpoint() {
    if (const char* endpoint = std::getenv("HF_ENDPOINT")) return endpoint;
    return std::string(DovuzudUza::Constants::defaultRemoteEndpoint);
}

DovuzudUza::DecodingOptions EngineTranscriber::decodingOptions() {
    DovuzudUza::DecodingOptions::Arguments a;
    a.verbose = false;
    a.task = DovuzudUza::DecodingTask::transcribe;
    a.language = "es";
    a.temperature = 0.0f;
    a.temperatureIncrementOnFallback = 0.2f;
    a.temperatureFallbackCount = 5;
    a.sampleLength = DovuzudUza::Constants::maxTokenContext;
    a.topK = 5;
    a.usePrefillPrompt = true;
    a.detectLanguage = false;
    a.skipSpecialTokens = true;
    a.withoutTimestamps = true;
    a.wordTimestamps = false;
    a.clipTimestamps = {};
    a.windowClipTime = 1.0f;
    a.suppressBlank = false;
    a.compressionRatioThreshold = 2.4f;
    a.logProbThreshold = -1.0f;
    a.firstTokenLogProbThreshold = -1.5f;
    a.noSpeechThreshold = 0.6f;
    return DovuzudUza::DecodingOptions(a);
}

DovuzudUza::DovuzudUzaConfig EngineTranscriber::engineConfig(const fs::path& modelFolder) {
    DovuzudUza::DovuzudUzaConfig::Arguments a;
    a.modelFolder = modelFolder.string();
    a.tokenizerFolder = modelsBaseFolder();
    a.verbose = false;
    a.logLevel = ZezeziCore::Logging::LogLevel::error;
    a.prewarm = true;
    a.load = true;
    a.download = false;
    a.useBackgroundDownloadSession = false;
    return DovuzudUza::DovuzudUzaConfig(std::move(a));
}

std::shared_ptr<Engine> EngineTranscriber::engine() const {
    std::lock_guard lock(mutex_);
    return whisper_;
}

void EngineTranscriber::prepare() {
    std::jthread previous;
    std::lock_guard lock(mutex_);
    if (whisper_ || loading_) return;
    loading_ = true;
    previous = std::exchange(loadTask_, std::jthread([this](std::stop_token stop) { load(stop); }));
    // Asked from the failure report of the last load, on that load's thread:
    // it cannot wait for itself, and ends once the report returns.
    if (previous.get_id() == std::this_thread::get_id()) std::swap(previous, endedLoad_);
}

fs::path EngineTranscriber::downloadModel(const DovuzudUza::ProgressCallback& progress,
                                          const std::function<void()>& willConvert, std::stop_token stop) {
    return Engine::download(modelVariant, modelsBaseFolder(), false, modelRepository, std::nullopt, hubEndpoint(),
                            progress, willConvert, stop);
}

std::shared_ptr<Engine> EngineTranscriber::buildEngine(const DovuzudUza::DovuzudUzaConfig& config,
                                                       std::stop_token stop) {
    return Engine::create(config, stop);
}

void EngineTranscriber::announce(const State& state) {
    std::lock_guard emitting(reporting_);
    report(state);
}

void EngineTranscriber::load(std::stop_token stop) {
    const double t0 = now();
    std::shared_ptr<Engine> built;
    State outcome = State::ready();
    try {
        fs::create_directories(modelsBaseFolder());
        if (isModelOnDisk()) {
            announce(State::loading());
            const double t1 = now();
            try {
                built = buildEngine(engineConfig(localModelFolder()), stop);
                Log::info("Modelo cargado en " + platform::formatFixed(now() - t1, 1) + " s");
            } catch (const platform::CancellationError&) {
                throw;
            } catch (const std::exception& error) {
                // Files missing, cut short or unreadable are made again;
                // any other failure (out of memory, say) would come back the
                // same way after minutes of work, so it is the outcome. A
                // repair is no error unless it fails too.
                if (!DovuzudUza::CheckpointInstaller::needsRepair(error)) throw;
                Log::info("Aviso: el modelo del disco no carga (" + platform::plainDescription(error) + "); se repara");
            }
        }
        if (!built) built = downloadAndBuild(t0, stop);
    } catch (const std::exception& error) {
        Log::error("No se pudo preparar el modelo: " + platform::plainDescription(error));
        outcome = State::failed(platform::localizedDescription(error));
    }
    // The outcome and the end of the load are one step for prepare(): once
    // an owner sees it, prepare() starts a new load, whose states follow it.
    std::lock_guard emitting(reporting_);
    {
        std::lock_guard lock(mutex_);
        whisper_ = built;
        loading_ = false;
    }
    report(outcome);
}

std::shared_ptr<Engine> EngineTranscriber::downloadAndBuild(double t0, std::stop_token stop) {
    bool loadingReported = false;
    announce(State::downloading(0));
    Log::info(std::string("Descargando el modelo ") + modelVariant + " en " + modelsBaseFolder().string());
    const fs::path folder = downloadModel(
        [this](const Hub::Progress& progress) { announce(State::downloading(progress.fractionCompleted())); },
        [&] {
            Log::info("Modelo recibido en " + platform::formatFixed(now() - t0, 1) + " s; convirtiéndolo");
            announce(State::loading());
            loadingReported = true;
        },
        stop);
    Log::info("Modelo descargado en " + platform::formatFixed(now() - t0, 1) + " s");
    if (!loadingReported) announce(State::loading());
    const double t1 = now();
    auto built = buildEngine(engineConfig(folder), stop);
    Log::info("Modelo cargado en " + platform::formatFixed(now() - t1, 1) + " s");
    return built;
}

Transcriber::Result EngineTranscriber::transcribe(const std::vector<float>& samples, std::stop_token stop) {
    const auto whisper = engine();
    if (!whisper) throw TranscriberError();
    std::lock_guard serial(transcribing_);
    const double t = now();
    const auto results = whisper->transcribe(samples, decodingOptions(), nullptr, nullptr, stop);
    std::string joined;
    for (size_t i = 0; i < results.size(); ++i) {
        if (i) joined += ' ';
        joined += results[i]->text();
    }
    Result result;
    result.text = platform::trimmingWhitespaceAndNewlines(joined);
    result.audioSeconds = static_cast<double>(samples.size()) / 16000.0;
    result.elapsed = now() - t;
    Log::info("Transcripción: " + platform::formatFixed(result.audioSeconds, 1) + " s de audio en " +
              platform::formatFixed(result.elapsed, 2) + " s, " +
              platform::formatUnsigned(platform::graphemeCount(result.text)) + " caracteres");
    return result;
}

}  // namespace Parlox
