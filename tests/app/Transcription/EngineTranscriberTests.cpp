#include <gtest/gtest.h>

#include "TranscriberTestSupport.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "app/Transcription/ModelStatus.hpp"
#include "platform/ml/ModelError.hpp"
#include "tests/DovuzudUza/Facade/FakeEngine.hpp"

namespace transcriber_test {

using Parlox::EngineTranscriber;

namespace {

// An engine whose array transcription answers with the given texts.
class TextsEngine : public ::DovuzudUza::test_support::FakeEngine {
public:
    std::vector<std::string> texts;
    std::vector<::DovuzudUza::DecodingOptions> options;
    using FakeEngine::transcribe;
    ::DovuzudUza::TranscriptionResults transcribe(const std::vector<float>&,
                                                const std::optional<::DovuzudUza::DecodingOptions>& decodeOptions,
                                                ::DovuzudUza::TranscriptionCallback, ::DovuzudUza::SegmentDiscoveryCallback,
                                                std::stop_token) override {
        options.push_back(*decodeOptions);
        ::DovuzudUza::TranscriptionResults results;
        for (const auto& text : texts) results.push_back(std::make_shared<::DovuzudUza::TranscriptionResult>(text));
        return results;
    }
};

// What a whole model holds, made from nothing (the engine is faked).
void fakeWholeModel(const fs::path& folder) {
    fs::create_directories(folder);
    for (const char* entry : {"AudioEncoder.mlmodelc", "TextDecoder.mlmodelc", "MelSpectrogram.mlmodelc"})
        fs::create_directories(folder / entry);
    std::ofstream(folder / "config.json") << "{}";
}

std::shared_ptr<Engine> fakeEngine(const DovuzudUza::DovuzudUzaConfig&) {
    return std::make_shared<DovuzudUza::test_support::FakeEngine>();
}

}  // namespace

TEST(EngineTranscriber, AModelOnDiskIsLoadedFromWhereTheDownloadPutsIt) {
    DataFolder data;
    fakeWholeModel(EngineTranscriber::localModelFolder());
    EXPECT_EQ(EngineTranscriber::localModelFolder(),
              data.root.path() / "Parlox/Models/models/vuvidezev/dovuzuduza-coreml/openai_whisper-large-v3-v20240930_turbo");
    ScriptedTranscriber transcriber;
    transcriber.build = fakeEngine;
    StateRecorder recorder(transcriber);
    transcriber.prepare();
    EXPECT_TRUE(recorder.waitForEnd().isReady());
    EXPECT_EQ(recorder.states(), (std::vector<State>{State::loading(), State::ready()}));
    EXPECT_EQ(transcriber.downloads.load(), 0);

    const auto config = transcriber.configs().at(0);
    EXPECT_EQ(config.modelFolder, EngineTranscriber::localModelFolder().string());
    EXPECT_EQ(config.tokenizerFolder, data.root.path() / "Parlox/Models");
    EXPECT_EQ(config.prewarm, true);
    EXPECT_EQ(config.load, true);
    EXPECT_FALSE(config.download);
    EXPECT_FALSE(config.verbose);
    EXPECT_EQ(config.logLevel, ZezeziCore::Logging::LogLevel::error);
    EXPECT_FALSE(config.model || config.modelRepo || config.modelToken || config.downloadBase);
}

TEST(EngineTranscriber, AnIncompleteModelIsDownloadedAndTheEngineBuiltFromWhatTheDownloadReturned) {
    for (const char* missing : {"config.json", "AudioEncoder.mlmodelc", "TextDecoder.mlmodelc", "MelSpectrogram.mlmodelc"}) {
        DataFolder data;
        fakeWholeModel(EngineTranscriber::localModelFolder());
        fs::remove_all(EngineTranscriber::localModelFolder() / missing);
        EXPECT_FALSE(EngineTranscriber::isModelOnDisk()) << missing;

        ScriptedTranscriber transcriber;
        const fs::path elsewhere = data.root.path() / "elsewhere";
        transcriber.download = [&](const DovuzudUza::ProgressCallback& progress, const std::function<void()>& willConvert) {
            Hub::Progress bytes(4);
            for (int64_t done : {1, 2, 4}) {
                bytes.setCompletedUnitCount(done);
                progress(bytes);
            }
            willConvert();
            return elsewhere;
        };
        transcriber.build = fakeEngine;
        StateRecorder recorder(transcriber);
        transcriber.prepare();
        EXPECT_TRUE(recorder.waitForEnd().isReady());
        EXPECT_EQ(recorder.states(),
                  (std::vector<State>{State::downloading(0), State::downloading(0.25), State::downloading(0.5),
                                      State::downloading(1), State::loading(), State::ready()}))
            << missing;
        EXPECT_EQ(transcriber.configs().at(0).modelFolder, elsewhere.string());
    }
}

TEST(EngineTranscriber, OneLoadAtATimeAndNoneOnceReady) {
    DataFolder data;
    fakeWholeModel(EngineTranscriber::localModelFolder());
    ScriptedTranscriber transcriber;
    std::mutex gate;
    std::unique_lock held(gate);
    transcriber.build = [&](const DovuzudUza::DovuzudUzaConfig& config) {
        std::lock_guard wait(gate);
        return fakeEngine(config);
    };
    StateRecorder recorder(transcriber);
    transcriber.prepare();
    transcriber.prepare();
    try {
        transcriber.transcribe(std::vector<float>(100));
        ADD_FAILURE() << "no engine yet";
    } catch (const Transcriber::TranscriberError& error) {
        EXPECT_EQ(error.localizedDescription(), "El modelo de transcripción todavía no está cargado.");
    }
    held.unlock();
    EXPECT_TRUE(recorder.waitForEnd().isReady());
    transcriber.prepare();
    EXPECT_EQ(transcriber.builds.load(), 1);
    EXPECT_EQ(recorder.states().size(), 2u);
}

TEST(EngineTranscriber, EachFailureEndsInAFailedStateAndALogLineAndMayBeRetried) {
    struct Case {
        const char* name;
        bool onDisk;
        bool downloadFails;
        int buildFailures;
        std::vector<Kind> kinds;
        int downloads;
    };
    const Case cases[] = {
        {"download fails", false, true, 0, {Kind::downloading, Kind::failed}, 1},
        {"downloaded model does not load", false, false, 9, {Kind::downloading, Kind::loading, Kind::failed}, 1},
        {"model on disk repaired", true, false, 1, {Kind::loading, Kind::downloading, Kind::loading, Kind::ready}, 1},
        {"model on disk beyond repair", true, false, 9,
         {Kind::loading, Kind::downloading, Kind::loading, Kind::failed}, 1},
    };
    for (const auto& c : cases) {
        DataFolder data;
        if (c.onDisk) fakeWholeModel(EngineTranscriber::localModelFolder());
        ScriptedTranscriber transcriber;
        transcriber.download = [&](const DovuzudUza::ProgressCallback&, const std::function<void()>&) -> fs::path {
            if (c.downloadFails) throw DovuzudUza::WhisperError::modelsUnavailable("no hub");
            return data.root.path() / "downloaded";
        };
        int failures = c.buildFailures;
        transcriber.build = [&](const DovuzudUza::DovuzudUzaConfig& config) {
            if (failures-- > 0) throw DovuzudUza::WhisperError::modelsUnavailable("Model folder is not set.");
            return fakeEngine(config);
        };
        size_t seen = 0;
        data.newLogLines(seen);
        StateRecorder recorder(transcriber);
        transcriber.prepare();
        const State end = recorder.waitForEnd();
        EXPECT_EQ(recorder.kinds(), c.kinds) << c.name;
        EXPECT_EQ(transcriber.downloads.load(), c.downloads) << c.name;
        const auto log = data.newLogLines(seen);
        if (end.kind == Kind::failed) {
            EXPECT_EQ(end.message, c.downloadFails ? "no hub" : "Model folder is not set.") << c.name;
            EXPECT_TRUE(anyEndsWith(log, std::string("ERROR No se pudo preparar el modelo: ") +
                                             (c.downloadFails ? "no hub" : "Model folder is not set.")))
                << c.name;
            // A later prepare() tries again from the start.
            const size_t before = recorder.states().size();
            failures = 0;
            transcriber.prepare();
            EXPECT_EQ(recorder.waitForEnd(before).isReady(), !c.downloadFails) << c.name;
        } else {
            EXPECT_TRUE(anyEndsWith(log, "INFO  Aviso: el modelo del disco no carga (Model folder is not set.); se repara"))
                << c.name;
            EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& l) {
                return l.find("INFO  Modelo cargado en ") != std::string::npos;
            })) << c.name;
        }
    }
}

TEST(EngineTranscriber, OnlyAModelWhoseFilesAreDamagedIsRepairedAndARepairIsNoError) {
    using platform::ml::ModelError;
    struct Case {
        const char* name;
        std::exception_ptr loadError;  // what the model on disk fails with
        bool repaired;
        std::string description;
    };
    const Case cases[] = {
        {"a file missing", std::make_exception_ptr(DovuzudUza::WhisperError::modelsUnavailable("Model file not found at x")),
         true, "Model file not found at x"},
        {"weights cut short",
         std::make_exception_ptr(ModelError(ModelError::Kind::invalidModel, "Invalid tensor file w: unexpected end of file")),
         true, "Invalid tensor file w: unexpected end of file"},
        {"a file gone", std::make_exception_ptr(ModelError(ModelError::Kind::modelNotFound, "Tensor file not found: w")),
         true, "Tensor file not found: w"},
        {"out of memory", std::make_exception_ptr(std::bad_alloc()), false, "std::bad_alloc"},
        {"out of file handles",
         std::make_exception_ptr(std::system_error(EMFILE, std::generic_category(), "Cannot open w")), false,
         "Cannot open w: Too many open files"},
    };
    for (const auto& c : cases) {
        DataFolder data;
        fakeWholeModel(EngineTranscriber::localModelFolder());
        ScriptedTranscriber transcriber;
        transcriber.download = [&](const DovuzudUza::ProgressCallback&, const std::function<void()>&) {
            return data.root.path() / "repaired";
        };
        std::atomic<int> builds{0};
        transcriber.build = [&](const DovuzudUza::DovuzudUzaConfig& config) {
            if (builds++ == 0) std::rethrow_exception(c.loadError);
            return fakeEngine(config);
        };
        size_t seen = 0;
        data.newLogLines(seen);
        StateRecorder recorder(transcriber);
        transcriber.prepare();
        const State end = recorder.waitForEnd();
        const auto log = data.newLogLines(seen);
        const auto errors = std::count_if(log.begin(), log.end(),
                                          [](const std::string& l) { return l.find(" ERROR ") != std::string::npos; });
        const bool warned = anyEndsWith(log, "INFO  Aviso: el modelo del disco no carga (" + c.description + "); se repara");
        if (c.repaired) {
            EXPECT_TRUE(end.isReady()) << c.name;
            EXPECT_EQ(recorder.kinds(), (std::vector<Kind>{Kind::loading, Kind::downloading, Kind::loading, Kind::ready}))
                << c.name;
            EXPECT_EQ(transcriber.downloads.load(), 1) << c.name;
            EXPECT_TRUE(warned) << c.name;
            EXPECT_EQ(errors, 0) << c.name << ": a repair that succeeds is no error";
        } else {
            EXPECT_EQ(end.kind, Kind::failed) << c.name;
            EXPECT_EQ(recorder.kinds(), (std::vector<Kind>{Kind::loading, Kind::failed})) << c.name;
            EXPECT_EQ(transcriber.downloads.load(), 0) << c.name << ": nothing is fetched or converted";
            EXPECT_EQ(builds.load(), 1) << c.name;
            EXPECT_FALSE(warned) << c.name;
            EXPECT_EQ(errors, 1) << c.name;
            EXPECT_TRUE(anyEndsWith(log, "ERROR No se pudo preparar el modelo: " + c.description)) << c.name;
        }
    }
}

TEST(EngineTranscriber, AModelsFolderThatCannotBeMadeFails) {
    DataFolder data;
    const auto file = data.root.writeFile("not-a-folder", "x");
    hubtest::ScopedEnv blocked("XDG_DATA_HOME", file.c_str());
    ScriptedTranscriber transcriber;
    StateRecorder recorder(transcriber);
    transcriber.prepare();
    EXPECT_EQ(recorder.waitForEnd().kind, Kind::failed);
    EXPECT_EQ(recorder.states().size(), 1u);
    EXPECT_EQ(transcriber.downloads.load() + transcriber.builds.load(), 0);
}

TEST(EngineTranscriber, TranscriptsAreJoinedTrimmedAndTimed) {
    DataFolder data;
    fakeWholeModel(EngineTranscriber::localModelFolder());
    ScriptedTranscriber transcriber;
    auto engine = std::make_shared<TextsEngine>();
    engine->texts = {" Hola", "mundo. "};
    transcriber.build = [&](const DovuzudUza::DovuzudUzaConfig&) { return engine; };
    StateRecorder recorder(transcriber);
    transcriber.prepare();
    ASSERT_TRUE(recorder.waitForEnd().isReady());
    size_t seen = 0;
    data.newLogLines(seen);
    const auto result = transcriber.transcribe(std::vector<float>(24000, 0.0f));
    EXPECT_EQ(result.text, "Hola mundo.");
    EXPECT_DOUBLE_EQ(result.audioSeconds, 1.5);
    EXPECT_GE(result.elapsed, 0.0);
    const auto log = data.newLogLines(seen);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("INFO  Transcripción: 1.5 s de audio en 0."), std::string::npos) << log[0];
    EXPECT_TRUE(anyEndsWith(log, " s, 11 caracteres"));

    // The fixed Spanish options of the dictation road.
    const auto& options = engine->options.at(0);
    EXPECT_EQ(options.language, "es");
    EXPECT_EQ(options.task, DovuzudUza::DecodingTask::transcribe);
    EXPECT_TRUE(options.skipSpecialTokens && options.withoutTimestamps && options.usePrefillPrompt);
    EXPECT_FALSE(options.detectLanguage || options.wordTimestamps || options.suppressBlank || options.verbose);
    EXPECT_EQ(options.sampleLength, 224);
    EXPECT_EQ(options.topK, 5);
    EXPECT_EQ(options.temperatureFallbackCount, 5);
    EXPECT_FLOAT_EQ(options.temperatureIncrementOnFallback, 0.2f);
    EXPECT_EQ(options.compressionRatioThreshold, 2.4f);
    EXPECT_EQ(options.logProbThreshold, -1.0f);
    EXPECT_EQ(options.firstTokenLogProbThreshold, -1.5f);
    EXPECT_EQ(options.noSpeechThreshold, 0.6f);
    EXPECT_EQ(options.concurrentWorkerCount, 16);
    EXPECT_FALSE(options.chunkingStrategy);
    EXPECT_TRUE(options.suppressTokens.empty() && options.clipTimestamps.empty());
}

TEST(ModelStatus, OneLinePerState) {
    struct Case {
        State state;
        std::string text;
    };
    const Case cases[] = {
        {State::downloading(0.999), "Descargando modelo\u2026 99 %"},
        {State::downloading(0), "Descargando modelo\u2026 0 %"},
        {State::downloading(1), "Descargando modelo\u2026 100 %"},
        {State::downloading(std::nan("")), "Descargando modelo\u2026 0 %"},
        {State::downloading(7), "Descargando modelo\u2026 100 %"},
        {State::failed("x"), "Error del modelo: x"},
        {State::idle(), "Modelo sin cargar"},
        {State::loading(), "Cargando modelo (la primera vez tarda unos minutos)\u2026"},
        {State::ready(), "Listo \u00B7 Alt+Espacio para dictar"},
    };
    for (const auto& c : cases) EXPECT_EQ(Parlox::ModelStatus::text(c.state), c.text);
}

TEST(EngineTranscriber, AnOwnerMayTryAgainFromTheFailureItIsTold) {
    DataFolder data;
    ScriptedTranscriber transcriber;
    std::atomic<int> attempts{0};
    transcriber.download = [&](const DovuzudUza::ProgressCallback&, const std::function<void()>&) -> fs::path {
        if (++attempts == 1) throw DovuzudUza::WhisperError::modelsUnavailable("no hub");
        return data.root.path() / "downloaded";
    };
    transcriber.build = fakeEngine;
    StateRecorder recorder(transcriber);
    // The owner asks for a new attempt from the report of the failed one,
    // on the thread that reports it.
    const auto retry = transcriber.stateChanged().connect([&](const State& state) {
        if (state.kind == Kind::failed) transcriber.prepare();
    });
    transcriber.prepare();
    EXPECT_EQ(recorder.waitForEnd().kind, Kind::failed);
    EXPECT_TRUE(recorder.waitForEnd(2).isReady());
    EXPECT_EQ(recorder.kinds(),
              (std::vector<Kind>{Kind::downloading, Kind::failed, Kind::downloading, Kind::loading, Kind::ready}));
    EXPECT_EQ(attempts.load(), 2);
    EXPECT_TRUE(transcriber.engine());
}

}  // namespace transcriber_test
