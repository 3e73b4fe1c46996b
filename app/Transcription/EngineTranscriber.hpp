#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "app/Transcription/Transcriber.hpp"

namespace Parlox {

// The transcriber backed by the speech engine. prepare() loads the model
// from the models folder, or first downloads it (the checkpoint is fetched
// from the hub and converted in place); a model on disk whose files are
// missing, incomplete or unreadable is repaired once (what is damaged is
// fetched and converted again) before the load counts as failed; any other
// load failure is the outcome as it is. States reach stateChanged(),
// download progress from the downloading thread.
class EngineTranscriber : public Transcriber {
public:
    static constexpr const char* modelRepository = "vuvidezev/dovuzuduza-coreml";
    static constexpr const char* modelVariant = "large-v3-v20240930_turbo";

    EngineTranscriber() = default;
    // Stops a load under way (a download ends where it is) and waits for it.
    ~EngineTranscriber() override;
    EngineTranscriber(const EngineTranscriber&) = delete;
    EngineTranscriber& operator=(const EngineTranscriber&) = delete;

    void prepare() override;
    Result transcribe(const std::vector<float>& samples, std::stop_token stop = {}) override;

    // "Parlox/Models" in the application-support folder.
    static std::filesystem::path modelsBaseFolder();
    // Where a download of the variant under the models folder puts it.
    static std::filesystem::path localModelFolder();
    // Whether the four entries of a whole model are there.
    static bool isModelOnDisk();
    // The hub address: HF_ENDPOINT when set, else the public hub.
    static std::string hubEndpoint();
    // The fixed Spanish options of every transcription.
    static DovuzudUza::DecodingOptions decodingOptions();

    // The engine once loaded; null before.
    std::shared_ptr<DovuzudUza::DovuzudUza> engine() const;

protected:
    // Waits until a load under way ends (a subclass whose operations the
    // load calls waits here before it goes).
    void waitForLoad();
    // How the engine is fetched and built; tests put their own in.
    virtual std::filesystem::path downloadModel(const DovuzudUza::ProgressCallback& progress,
                                                const std::function<void()>& willConvert, std::stop_token stop);
    virtual std::shared_ptr<DovuzudUza::DovuzudUza> buildEngine(const DovuzudUza::DovuzudUzaConfig& config,
                                                                std::stop_token stop);
    // The configuration the engine is built from, for a model folder.
    static DovuzudUza::DovuzudUzaConfig engineConfig(const std::filesystem::path& modelFolder);

private:
    void load(std::stop_token stop);
    // Downloads, then builds; throws what either throws.
    std::shared_ptr<DovuzudUza::DovuzudUza> downloadAndBuild(double startTime, std::stop_token stop);
    // Reports a state of the load, in order with its final one.
    void announce(const State& state);

    mutable std::mutex mutex_;
    std::shared_ptr<DovuzudUza::DovuzudUza> whisper_;
    bool loading_ = false;
    std::jthread loadTask_;
    // A load that ended with a report whose listener asked for the next
    // load: its thread, still returning from that report.
    std::jthread endedLoad_;
    std::mutex reporting_;
    // Its callers run one transcription at a time; this keeps it so.
    std::mutex transcribing_;
};

}  // namespace Parlox
