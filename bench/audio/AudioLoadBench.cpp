// Loads and resamples a 10-minute file to 16 kHz mono and compares the time
// with the ffmpeg command line doing the same on the same file:
//   ffmpeg -i F -ar 16000 -ac 1 -f f32le -
// Usage: audio_load_bench [file] [runs]   (without a file, a 10-minute
// 44.1 kHz stereo WAV and a FLAC copy are made in a temporary folder, and
// 16 kHz mono copies of both, which load without conversion)

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include <unistd.h>

#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "platform/audio/fake/WavWriter.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// Runs the command line and drains its output, as a pipeline consumer would.
double timeFfmpeg(const std::string& file, size_t& bytes) {
    const std::string command = "ffmpeg -v error -nostdin -i '" + file + "' -ar 16000 -ac 1 -f f32le -";
    const auto start = Clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    std::vector<char> chunk(1 << 20);
    bytes = 0;
    while (size_t n = fread(chunk.data(), 1, chunk.size(), pipe)) bytes += n;
    if (pclose(pipe) != 0) return -1;
    return seconds(start);
}

double timeOurs(const std::string& file, size_t& samples) {
    const auto start = Clock::now();
    const auto loaded = DovuzudUza::AudioProcessor::loadAudioAsFloatArray(
        file, DovuzudUza::AudioInputOptions::ChannelMode::sumChannels());
    samples = loaded.size();
    return seconds(start);
}

void compare(const std::string& label, const std::string& file, int runs) {
    std::vector<double> ours, theirs;
    size_t samples = 0, bytes = 0;
    for (int i = 0; i < runs; ++i) {
        // Alternate, so neither side always meets a warmer cache.
        ours.push_back(timeOurs(file, samples));
        theirs.push_back(timeFfmpeg(file, bytes));
    }
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    const double a = ours[ours.size() / 2], b = theirs[theirs.size() / 2];
    std::printf("%-32s ours %7.3f s (%zu samples)   ffmpeg %7.3f s (%zu samples)   ratio %.2f %s\n", label.c_str(), a,
                samples, b, bytes / 4, b > 0 ? a / b : 0.0, b > 0 && a <= b ? "(no slower)" : "(slower)");
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (argc > 1) {
        compare(argv[1], argv[1], runs);
        return 0;
    }
    const char* base = std::getenv("TMPDIR");
    std::string folder = std::string(base && *base ? base : "/tmp") + "/parlox-audio-bench-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) return 1;
    const std::string wav = folder + "/ten-minutes.wav", flac = folder + "/ten-minutes.flac";

    const double rate = 44100;
    const size_t frames = static_cast<size_t>(600 * rate);
    std::vector<float> interleaved(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = i / rate;
        const float level = static_cast<float>(0.3 + 0.2 * std::sin(2 * std::numbers::pi * 0.5 * t));
        interleaved[2 * i] = level * static_cast<float>(std::sin(2 * std::numbers::pi * 220 * t));
        interleaved[2 * i + 1] = level * static_cast<float>(std::sin(2 * std::numbers::pi * 3300 * t));
    }
    platform::audio::writeWav16(wav, interleaved, 44100, 2);
    interleaved.clear();
    interleaved.shrink_to_fit();
    auto copy = [&wav](const std::string& to, const std::string& options) {
        return std::system(("ffmpeg -v error -nostdin -y -i '" + wav + "' " + options + " '" + to + "'").c_str()) == 0;
    };
    const std::string monoWav = folder + "/mono16k.wav", monoFlac = folder + "/mono16k.flac";
    const bool haveFlac = copy(flac, "");
    const bool haveMono = copy(monoWav, "-ar 16000 -ac 1") && copy(monoFlac, "-ar 16000 -ac 1");

    std::printf("10-minute 44.1 kHz stereo file to 16 kHz mono float, median of %d runs\n", runs);
    compare("WAV 16-bit", wav, runs);
    if (haveFlac) compare("FLAC", flac, runs);
    if (haveMono) {
        std::printf("The same as 16 kHz mono (no conversion)\n");
        compare("WAV 16-bit 16 kHz mono", monoWav, runs);
        compare("FLAC 16 kHz mono", monoFlac, runs);
    }

    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
