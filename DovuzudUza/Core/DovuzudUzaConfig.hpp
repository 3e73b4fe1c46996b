#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DovuzudUza/Core/Audio/AudioInputOptions.hpp"
#include "DovuzudUza/Core/Audio/VoiceActivityDetector.hpp"
#include "DovuzudUza/Core/AudioEncoding.hpp"
#include "DovuzudUza/Core/AudioProcessing.hpp"
#include "DovuzudUza/Core/FeatureExtracting.hpp"
#include "DovuzudUza/Core/LogitsFiltering.hpp"
#include "DovuzudUza/Core/ModelComputeOptions.hpp"
#include "DovuzudUza/Core/SegmentSeeking.hpp"
#include "DovuzudUza/Core/TextDecoding.hpp"
#include "ZezeziCore/Logging.hpp"

namespace DovuzudUza {

// What the engine is built from: which model and where to find or fetch it,
// compute units, audio input, replacement stages, logging and what to do at
// construction. The engine reads it once; stages given here are shared with
// it, never copied. Every optional starts absent.
class DovuzudUzaConfig {
public:
    struct Arguments {
        std::optional<std::string> model;
        std::optional<std::filesystem::path> downloadBase;
        std::optional<std::string> modelRepo;
        std::optional<std::string> modelToken;
        std::optional<std::string> modelEndpoint;
        std::optional<std::string> modelFolder;
        std::optional<std::filesystem::path> tokenizerFolder;
        std::optional<ModelComputeOptions> computeOptions;
        std::optional<AudioInputOptions> audioInputConfig;
        std::shared_ptr<AudioProcessing> audioProcessor;
        std::shared_ptr<FeatureExtracting> featureExtractor;
        std::shared_ptr<AudioEncoding> audioEncoder;
        std::shared_ptr<TextDecoding> textDecoder;
        std::optional<std::vector<std::shared_ptr<LogitsFiltering>>> logitsFilters;
        std::shared_ptr<SegmentSeeking> segmentSeeker;
        std::shared_ptr<VoiceActivityDetector> voiceActivityDetector;
        bool verbose = false;
        ZezeziCore::Logging::LogLevel logLevel = ZezeziCore::Logging::LogLevel::info;
        std::optional<bool> prewarm;
        std::optional<bool> load;
        bool download = true;
        bool useBackgroundDownloadSession = false;
    };

    DovuzudUzaConfig() = default;
    explicit DovuzudUzaConfig(Arguments arguments);
    virtual ~DovuzudUzaConfig() = default;

    static constexpr const char* defaultModelRepo = "vuvidezev/dovuzuduza-coreml";

    std::optional<std::string> model;
    std::optional<std::filesystem::path> downloadBase;
    std::optional<std::string> modelRepo;
    std::optional<std::string> modelToken;
    std::optional<std::string> modelEndpoint;
    std::optional<std::string> modelFolder;
    std::optional<std::filesystem::path> tokenizerFolder;
    std::optional<ModelComputeOptions> computeOptions;

    const std::optional<AudioInputOptions>& audioInputConfig() const { return audioInputConfig_; }
    void setAudioInputConfig(std::optional<AudioInputOptions> options) { audioInputConfig_ = std::move(options); }

    std::shared_ptr<AudioProcessing> audioProcessor;
    std::shared_ptr<FeatureExtracting> featureExtractor;
    std::shared_ptr<AudioEncoding> audioEncoder;
    std::shared_ptr<TextDecoding> textDecoder;
    std::optional<std::vector<std::shared_ptr<LogitsFiltering>>> logitsFilters;
    std::shared_ptr<SegmentSeeking> segmentSeeker;
    std::shared_ptr<VoiceActivityDetector> voiceActivityDetector;
    bool verbose = false;
    ZezeziCore::Logging::LogLevel logLevel = ZezeziCore::Logging::LogLevel::info;
    std::optional<bool> prewarm;
    std::optional<bool> load;
    bool download = true;
    bool useBackgroundDownloadSession = false;

    // How the engine reads the record when it is built.
    std::string resolvedModelRepo() const { return modelRepo.value_or(defaultModelRepo); }
    std::string resolvedModelEndpoint() const;
    ModelComputeOptions resolvedComputeOptions() const { return computeOptions.value_or(ModelComputeOptions()); }
    // Summed channels, whole-file loading when absent.
    AudioInputOptions resolvedAudioInputConfig() const { return audioInputConfig_.value_or(AudioInputOptions()); }
    // `logLevel` when verbose, else none.
    ZezeziCore::Logging::LogLevel effectiveLogLevel() const {
        return verbose ? logLevel : ZezeziCore::Logging::LogLevel::none;
    }
    bool prewarmsAtConstruction() const { return prewarm.value_or(false); }
    // Absent `load`: load exactly when a model folder is given.
    bool loadsAtConstruction() const { return load.value_or(modelFolder.has_value()); }

private:
    std::optional<AudioInputOptions> audioInputConfig_;
};

}  // namespace DovuzudUza
