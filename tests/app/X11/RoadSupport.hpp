#pragma once

// What the whole-road tests share: the parlox program started as a user
// starts it, its settings, a speech model that always hears "Hola", the
// stand-in Codex answering "planeta", its log and the hot keys.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Transcription/EngineTranscriber.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/process/Subprocess.hpp"
#include "tests/DovuzudUza/Facade/RandomCheckpoint.hpp"
#include "tests/desktop/DesktopSession.hpp"

extern char** environ;

namespace parlox::road {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// From the end of a dictation to the answer in the field. The random model
// says as much as it may, which under the sanitizers on a busy machine has
// taken close to a minute to transcribe.
inline constexpr auto answerWithin = 120s;

// Runs a program to its end and gives its standard output.
inline std::string output(const std::vector<std::string>& command) {
    platform::process::Options options;
    options.executable = command.front();
    options.arguments.assign(command.begin() + 1, command.end());
    options.output = platform::process::OutputMode::capture;
    options.mergeStandardError = false;
    options.timeout = 60;
    const auto result = platform::process::run(options);
    EXPECT_EQ(result.exitCode, 0) << command.front() << "\n" << result.output;
    return result.output;
}

// A random checkpoint whose decoder says one word, always (the rewrite that
// makes test models say only the end token, aimed at a word instead): the
// transcript is that word over and over.
inline void makeItSay(const fs::path& checkpoint, const std::string& token) {
    const auto vocabulary =
        nlohmann::json::parse(parlox::testing::readFile(checkpoint / "tokenizer.json"))["model"]["vocab"];
    ASSERT_TRUE(vocabulary.contains(token));
    DovuzudUza::test_support::makeQuiet(checkpoint, vocabulary[token].get<int64_t>());
}

// Settings of a user who has set up already, Codex found at the stand-in
// (answering "planeta"), no sounds, no window picture, a roomy undo window,
// changed by `profile` (a null takes a setting out); and the speech model,
// random, converted where the application keeps it.
inline void prepareApplication(const parlox::testing::TemporaryFolder& work,
                               const nlohmann::json& profile = nlohmann::json::object()) {
    nlohmann::json settings = {{"hasFinishedSetup", true},
                               {"codexPath", PARLOX_SOURCE_DIR "/tests/fixtures/writing/codex"},
                               {"soundsEnabled", false},
                               {"screenContext", false},
                               {"doneSeconds", 60}};
    settings.merge_patch(profile);
    work.writeFile("defaults.json", settings.dump());
    fs::create_directories(platform::Paths::configDirectory());
    fs::copy_file(work / "defaults.json", platform::Paths::defaultsFile(), fs::copy_options::overwrite_existing);
    // Each test reads its own application's log, not lines an earlier one left.
    std::error_code none;
    fs::remove(platform::Paths::logsDirectory() / "Parlox.log", none);
    setenv("PARLOX_FAKE_SCENARIO", "answer", 1);
    setenv("PARLOX_FAKE_ANSWER", "planeta", 1);

    output({PARLOX_TOOLS_DIR "/parlox-make-random-whisper", (work / "checkpoint").string()});
    makeItSay(work / "checkpoint", "\u0120Hola");
    output({PARLOX_TOOLS_DIR "/parlox-convert-whisper", (work / "checkpoint").string(),
            Parlox::EngineTranscriber::localModelFolder().string()});
}

// The application, started as a user starts it, ended when the object goes.
class Application {
public:
    Application() {
        const std::string program = PARLOX_BINARY;
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv, environ) != 0) pid_ = -1;
    }
    ~Application() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 300 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) std::this_thread::sleep_for(10ms);
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
    }
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    pid_t pid() const { return pid_; }
    bool running() const {
        int status = 0;
        return pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0;
    }

private:
    pid_t pid_ = -1;
};

inline std::string logText() {
    std::error_code missing;
    const fs::path file = platform::Paths::logsDirectory() / "Parlox.log";
    return fs::exists(file, missing) ? parlox::testing::readFile(file) : std::string();
}

inline bool logSays(const std::string& words, std::chrono::milliseconds timeout) {
    return parlox::testing::eventually([&] { return logText().find(words) != std::string::npos; }, timeout);
}

inline void key(const std::string& keys) {
    ASSERT_EQ(std::system(("xdotool key " + keys).c_str()), 0) << keys;
}

// Alt+Space, four seconds of voice, Alt+Space: a dictation whose transcript
// is "Hola". At the second press the application drops what its capture has
// not received yet, and then a recording too short or without voice: the
// seconds after the voice let a sound server or capture held up catch up.
inline void dictate() {
    key("alt+space");
    ASSERT_TRUE(logSays("Grabaci\u00F3n iniciada", 10s)) << logText();
    {
        parlox::testing::Microphone voice;
        std::this_thread::sleep_for(4s);
    }
    key("alt+space");
}

}  // namespace parlox::road
