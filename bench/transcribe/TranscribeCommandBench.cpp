// How long `parlox --transcribe` takes on 30 s of audio with a random model
// of base dimensions, next to the stage times the same run measured: making
// the model ready and the two transcription passes. What is left over is the
// cost of the program around them: starting, reading and converting the
// audio file, the transcriber's states, printing. Goal: at most 10%.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bench/WhisperSizes.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/ml/WhisperCheckpoint.hpp"
#include "platform/process/Subprocess.hpp"
#include "tools/WhisperVocabulary.hpp"

namespace fs = std::filesystem;

namespace {

// 30 s of 16 kHz mono 16-bit PCM: tones that change every half second.
void writeSpeechLikeWav(const fs::path& path, double seconds) {
    const auto frames = static_cast<uint32_t>(seconds * 16000);
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + frames * 2);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(16000);
    u32(32000);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(frames * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        const double hz = 180.0 + 40.0 * static_cast<double>((i / 8000) % 5);
        const auto v = static_cast<int16_t>(9000 * std::sin(2 * M_PI * hz * i / 16000.0));
        u16(static_cast<uint16_t>(v));
    }
}

double seconds(const std::string& text) { return platform::parseDouble(text).value_or(NAN); }

}  // namespace

int main() {
    const fs::path root = platform::FileManager::makePrivateTemporaryDirectory("parlox-transcribe-bench-");
    struct Cleanup {
        fs::path p;
        ~Cleanup() { platform::FileManager::removeItem(p); }
    } cleanup{root};

    std::printf("Making a random checkpoint of base dimensions and converting it...\n");
    const auto config = parlox::bench::baseSize();
    platform::ml::generateRandomCheckpoint(root / "checkpoint", config, 1, platform::ml::TensorType::f16);
    parlox::tools::WhisperVocabulary::forModel(config.vocabSize)->write(root / "checkpoint");
    const fs::path data = root / "data";
    platform::ml::convertCheckpoint(
        root / "checkpoint",
        data / "Parlox/Models/models/vuvidezev/dovuzuduza-coreml/openai_whisper-large-v3-v20240930_turbo");
    const fs::path audio = root / "treinta.wav";
    writeSpeechLikeWav(audio, 30);

    platform::process::Options options;
    options.executable = fs::path(PARLOX_BINARY_DIR) / "app" / "parlox";
    options.arguments = {"--transcribe", audio.string()};
    options.environment = std::vector<std::string>{"HOME=" + root.string(), "XDG_DATA_HOME=" + data.string(),
                                                   "XDG_STATE_HOME=" + (root / "state").string(),
                                                   "XDG_CONFIG_HOME=" + (root / "config").string(),
                                                   "PATH=/usr/bin:/bin"};
    options.output = platform::process::OutputMode::capture;
    options.mergeStandardError = false;
    std::printf("Running parlox --transcribe on 30 s of audio...\n");
    const auto start = std::chrono::steady_clock::now();
    const auto result = platform::process::run(options);
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s", result.output.c_str());
    if (result.exitCode != 0) {
        std::fprintf(stderr, "parlox --transcribe failed (exit %d)\n", result.exitCode);
        return 1;
    }

    // The stages as the run itself measured them: its log has the model's
    // load, the output each pass's transcription.
    double model = NAN;
    std::vector<double> passes;
    const std::regex loaded(R"(Modelo cargado en (\d+\.\d+) s)");
    const std::regex pass(R"(\] 30\.0 s de audio en (\d+\.\d+) s)");
    std::smatch m;
    const std::string log = platform::FileManager::readFile(root / "state/Parlox/Logs/Parlox.log");
    if (std::regex_search(log, m, loaded)) model = seconds(m[1]);
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);)
        if (std::regex_search(line, m, pass)) passes.push_back(seconds(m[1]));
    if (std::isnan(model) || passes.size() != 2) {
        std::fprintf(stderr, "the run did not report its stages\n");
        return 1;
    }
    const double stages = model + passes[0] + passes[1];
    const double rest = total - stages;
    std::printf("\nparlox --transcribe, whole run:         %s s\n", platform::formatFixed(total, 2).c_str());
    std::printf("  model ready (prewarm and load):       %s s\n", platform::formatFixed(model, 2).c_str());
    std::printf("  transcription, pass 1:                %s s\n", platform::formatFixed(passes[0], 2).c_str());
    std::printf("  transcription, pass 2:                %s s\n", platform::formatFixed(passes[1], 2).c_str());
    std::printf("  sum of the stages:                    %s s\n", platform::formatFixed(stages, 2).c_str());
    std::printf("  program, audio file and states:       %s s (%s %% of the run; goal: at most 10 %%)\n",
                platform::formatFixed(rest, 2).c_str(), platform::formatFixed(100.0 * rest / total, 1).c_str());
    return 0;
}
