// "--transcribe": prepares the speech model, then transcribes each file
// twice (the second pass shows the time without first-use costs).
#include <chrono>
#include <filesystem>

#include "app/App/CommandLineTool.hpp"
#include "app/Transcription/EngineTranscriber.hpp"
#include "platform/audio/AudioError.hpp"
#include "platform/audio/AudioFile.hpp"
#include "platform/audio/CutShortFile.hpp"
#include "platform/audio/Resampler.hpp"
#include "platform/concurrency/Channel.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace Parlox {

namespace {

std::string passLine(const std::string& name, int pass, const Transcriber::Result& result) {
    return "[" + name + " \u00B7 pasada " + platform::formatInteger(pass) + "] " +
           platform::formatFixed(result.audioSeconds, 1) + " s de audio en " + platform::formatFixed(result.elapsed, 2) +
           " s";
}

}  // namespace

std::vector<float> CommandLineTool::load(const std::string& path) {
    using platform::audio::AudioError;
    using platform::audio::PcmBuffer;
    platform::audio::AudioFile file(path);
    const AudioError cutShort(AudioError::Kind::readFailed, "The file ends before its audio does: " + path);
    if (platform::audio::isCutShort(path)) throw cutShort;
    // Read and converted a block at a time: memory follows the audio the
    // file holds, not the length its header announces.
    platform::audio::Resampler converter(file.processingFormat(), platform::audio::AudioFormat{16000, 1});
    PcmBuffer block(file.processingFormat(), 65536);
    std::vector<float> samples;
    auto keep = [&samples](const PcmBuffer& mono) {
        if (mono.frameLength() > 0) samples.insert(samples.end(), mono.channel(0), mono.channel(0) + mono.frameLength());
    };
    int64_t read = 0;
    for (int64_t n; (n = file.read(block, block.frameCapacity())) > 0; read += n) keep(converter.process(block));
    keep(converter.flush());
    // A copy cut short still decodes up to the cut; its header gives it away.
    // (A few frames of slack for codecs whose length is an estimate.)
    const int64_t declared = file.length();
    const int64_t slack = std::max<int64_t>(4096, declared / 100);
    if (declared - read > slack) throw cutShort;
    return samples;
}

int CommandLineTool::transcribe(const std::vector<std::string>& files, const Print& print, std::stop_token stop) {
    platform::Channel<Transcriber::State> states;
    EngineTranscriber transcriber;
    const auto connection = transcriber.stateChanged().connect([&states](const Transcriber::State& s) { states.send(s); });
    transcriber.prepare();
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        // A stop ends the run quietly; the transcriber stops its load as it goes.
        const auto state = states.receive(stop);
        if (!state) return 1;
        if (state->kind == Transcriber::State::Kind::failed) {
            print("Error del modelo: " + state->message);
            return 1;
        }
        if (state->kind == Transcriber::State::Kind::ready) break;
    }
    print("Modelo listo en " +
          platform::formatFixed(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1) + " s");

    for (const auto& argument : files) {
        const std::string name = std::filesystem::path(argument).filename().string();
        try {
            const auto samples = load(argument);
            print(passLine(name, 1, transcriber.transcribe(samples, stop)));
            const auto second = transcriber.transcribe(samples, stop);
            print(passLine(name, 2, second));
            print(second.text);
        } catch (const std::exception& error) {
            if (stop.stop_requested()) return 1;
            print(argument + ": " + platform::plainDescription(error));
        }
    }
    return 0;
}

}  // namespace Parlox
