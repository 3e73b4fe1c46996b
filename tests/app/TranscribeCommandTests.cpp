// "parlox --transcribe" run as a program, with a converted random model in
// a private data folder.
#include <gtest/gtest.h>

#include <signal.h>

#include <regex>

#include "AppTestSupport.hpp"
#include "platform/audio/fake/WavWriter.hpp"
#include "tests/DovuzudUza/Facade/RandomCheckpoint.hpp"

using namespace app_test;

namespace {

const std::regex modelLine(R"(Modelo listo en \d+\.\d s)");

std::regex passLine(const std::string& name, int pass, const std::string& seconds) {
    return std::regex("\\[" + name + " \u00B7 pasada " + std::to_string(pass) + "\\] " + seconds +
                      " s de audio en \\d+\\.\\d\\d s");
}

// The sandbox's data folder with the model where a download would put it.
struct ModelSandbox {
    Sandbox box;
    fs::path data = box.root() / "data";

    explicit ModelSandbox(bool withModel = true) {
        box.env().set("XDG_DATA_HOME", data.string());
        if (!withModel) return;
        const DovuzudUza::test_support::RandomCheckpoint checkpoint(5);
        platform::ml::convertCheckpoint(checkpoint.folder, modelFolder());
    }
    fs::path modelFolder() const {
        return data / "Parlox/Models/models/vuvidezev/dovuzuduza-coreml/openai_whisper-large-v3-v20240930_turbo";
    }

    // Three seconds of a tone in the given container, made by ffmpeg.
    std::string audio(const std::string& name) const {
        const auto wav = box.root() / "tone.wav";
        if (!fs::exists(wav)) {
            std::vector<float> tone(3 * 48000 * 2);
            for (size_t i = 0; i < tone.size(); ++i)
                tone[i] = 0.3f * static_cast<float>(std::sin(2 * M_PI * 330.0 * static_cast<double>(i / 2) / 48000.0));
            platform::audio::writeWav16(wav.string(), tone, 48000, 2);
        }
        const auto path = box.root() / name;
        const std::string command = "ffmpeg -v error -y -i '" + wav.string() + "' '" + path.string() + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path.string();
    }

    // The first half of a file's bytes, as an interrupted copy leaves it.
    std::string cut(const std::string& path) const {
        const auto bytes = readFile(path);
        const auto out = box.root() / ("cut-" + fs::path(path).filename().string());
        writeFile(out, bytes.substr(0, bytes.size() / 2));
        return out.string();
    }
};

}  // namespace

TEST(TranscribeCommand, EveryContainerIsTranscribedTwiceAndItsTextPrinted) {
    ModelSandbox sandbox;
    std::vector<std::string> files;
    for (const char* name : {"tono.wav", "tono.flac", "tono.mp3", "tono.ogg", "tono.m4a"}) files.push_back(sandbox.audio(name));
    std::vector<std::string> args{"--transcribe"};
    args.insert(args.end(), files.begin(), files.end());
    const auto run = runParlox(args);
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(run.lines.size(), 1 + 3 * files.size()) << run.output;
    EXPECT_TRUE(std::regex_match(run.lines[0], modelLine)) << run.lines[0];
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string name = fs::path(files[i]).filename().string();
        EXPECT_TRUE(std::regex_match(run.lines[1 + 3 * i], passLine(name, 1, "3\\.0"))) << run.lines[1 + 3 * i];
        EXPECT_TRUE(std::regex_match(run.lines[2 + 3 * i], passLine(name, 2, "3\\.0"))) << run.lines[2 + 3 * i];
    }
}

TEST(TranscribeCommand, UnreadableFilesGetOneLineEachAndTheRunGoesOn) {
    ModelSandbox sandbox;
    const auto good = sandbox.audio("bueno.wav");
    const auto text = sandbox.box.root() / "texto.wav";
    writeFile(text, "esto no es audio\n");
    const auto empty = sandbox.box.root() / "vacio.wav";
    writeFile(empty, "");
    const std::vector<std::string> bad{(sandbox.box.root() / "no-existe.wav").string(),
                                       text.string(),
                                       empty.string(),
                                       sandbox.cut(good),
                                       sandbox.cut(sandbox.audio("corte.flac")),
                                       sandbox.cut(sandbox.audio("corte.mp3")),
                                       sandbox.cut(sandbox.audio("corte.ogg")),
                                       sandbox.cut(sandbox.audio("corte.m4a"))};
    std::vector<std::string> args{"--transcribe"};
    for (const auto& file : bad) {
        args.push_back(file);
        args.push_back(good);
    }
    const auto run = runParlox(args);
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(run.lines.size(), 1 + bad.size() * 4) << run.output;
    for (size_t i = 0; i < bad.size(); ++i) {
        const auto& error = run.lines[1 + 4 * i];
        EXPECT_EQ(error.rfind(bad[i] + ": ", 0), 0u) << error;
        EXPECT_GT(error.size(), bad[i].size() + 2) << "says what is wrong";
        EXPECT_TRUE(std::regex_match(run.lines[2 + 4 * i], passLine("bueno\\.wav", 1, "3\\.0"))) << run.lines[2 + 4 * i];
    }
}

TEST(TranscribeCommand, AFilesAudioCountsForWhatItHoldsNotForWhatItsHeaderAnnounces) {
    ModelSandbox sandbox;
    // An MP3 without a frame count that starts quiet: its length, guessed
    // from the bitrate, is far longer than its 12 s.
    const auto mp3 = sandbox.box.root() / "sin-cuenta.mp3";
    const std::string make = "ffmpeg -v error -y -f lavfi -i anoisesrc=d=6:c=pink:r=44100:a=0.5 -f lavfi -i "
                             "anullsrc=r=44100:cl=mono -filter_complex '[1]atrim=0:6[q];[q][0]concat=n=2:v=0:a=1' "
                             "-c:a libmp3lame -q:a 6 -write_xing 0 '" + mp3.string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    // A FLAC whose header announces 2^36 - 1 samples: more than any memory
    // holds, for a file of a few kilobytes.
    const auto flac = fs::path(sandbox.audio("enorme.flac"));
    auto bytes = readFile(flac);
    ASSERT_EQ(bytes.substr(0, 4), "fLaC");
    bytes[21] = static_cast<char>(bytes[21] | 0x0F);
    for (size_t i = 22; i < 26; ++i) bytes[i] = static_cast<char>(0xFF);
    writeFile(flac, bytes);

    const auto run = runParlox({"--transcribe", mp3.string(), flac.string()});
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(run.lines.size(), 5u) << run.output;
    EXPECT_TRUE(std::regex_match(run.lines[1], passLine("sin-cuenta\\.mp3", 1, "12\\.0"))) << run.lines[1];
    EXPECT_TRUE(std::regex_match(run.lines[2], passLine("sin-cuenta\\.mp3", 2, "12\\.0"))) << run.lines[2];
    EXPECT_EQ(run.lines[4], flac.string() + ": The file ends before its audio does: " + flac.string());
}

TEST(TranscribeCommand, AModelThatCannotBePreparedEndsTheRunBeforeAnyFile) {
    ModelSandbox sandbox(false);
    // Nothing answers here, so the download fails.
    sandbox.box.env().set("HF_ENDPOINT", "http://127.0.0.1:1");
    const auto run = runParlox({"--transcribe", sandbox.audio("tono.wav")});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.lines.size(), 1u) << run.output;
    EXPECT_EQ(run.lines[0].rfind("Error del modelo: ", 0), 0u) << run.lines[0];
    EXPECT_GT(run.lines[0].size(), std::string("Error del modelo: ").size());
    EXPECT_FALSE(fs::exists(sandbox.modelFolder()));
}

TEST(TranscribeCommand, ARunStoppedOrKilledWhileDownloadingLeavesNoModelAndTheNextRunFinishes) {
    const DovuzudUza::test_support::RandomCheckpoint checkpoint(9);
    DovuzudUza::test_support::CheckpointHub served(checkpoint);
    const auto weights = checkpoint.files.at("model.safetensors").size();
    for (const int signal : {SIGINT, SIGKILL}) {
        ModelSandbox sandbox(false);
        sandbox.box.env().set("HF_ENDPOINT", served.endpoint());
        const auto file = sandbox.audio("tono.wav");
        served.hub.stallAt = static_cast<long>(weights / 2);
        auto started = startParlox({"--transcribe", file});
        const fs::path partials = sandbox.data / "Parlox/Models/models/openai/whisper-large-v3-turbo/.cache/huggingface/download";
        ASSERT_TRUE(waitUntil(
            [&] {
                std::error_code ec;
                for (const auto& e : fs::directory_iterator(partials, ec))
                    if (e.path().extension() == ".incomplete" && fs::file_size(e.path(), ec) >= weights / 2) return true;
                return false;
            },
            30));
        ::kill(started.pid, signal);
        const auto result = started.result.get();
        EXPECT_TRUE(signal == SIGKILL ? result.signaled : result.exitCode == 128 + SIGINT) << signal;
        EXPECT_FALSE(fs::exists(sandbox.modelFolder())) << signal;

        served.hub.stallAt = -1;
        const auto run = runParlox({"--transcribe", file});
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_TRUE(fs::exists(sandbox.modelFolder() / "TextDecoder.mlmodelc")) << signal;
    }
}
