// The whole road on a headless desktop (tests/desktop/session.sh): parlox
// started without arguments, a Qt text field of another program, a random
// speech model converted with the project's tool, the stand-in Codex, a
// microphone fed through the sound server, and the hot keys pressed with
// xdotool.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Transcription/EngineTranscriber.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/process/Subprocess.hpp"
#include "tests/DovuzudUza/Facade/RandomCheckpoint.hpp"
#include "tests/desktop/DesktopSession.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using parlox::testing::eventually;
using parlox::testing::FixtureProcess;
using parlox::testing::Microphone;
using parlox::testing::readFile;
using parlox::testing::TextFieldProgram;

// Runs a program to its end and gives its standard output.
std::string output(const std::vector<std::string>& command) {
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
void makeItSay(const fs::path& checkpoint, const std::string& token) {
    const auto vocabulary = nlohmann::json::parse(readFile(checkpoint / "tokenizer.json"))["model"]["vocab"];
    ASSERT_TRUE(vocabulary.contains(token));
    DovuzudUza::test_support::makeQuiet(checkpoint, vocabulary[token].get<int64_t>());
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
    pid_t pid() const { return pid_; }
    bool running() const {
        int status = 0;
        return pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0;
    }

private:
    pid_t pid_ = -1;
};

std::string logText() {
    std::error_code missing;
    const fs::path file = platform::Paths::logsDirectory() / "Parlox.log";
    return fs::exists(file, missing) ? readFile(file) : std::string();
}

bool logSays(const std::string& words, std::chrono::milliseconds timeout) {
    return eventually([&] { return logText().find(words) != std::string::npos; }, timeout);
}

void key(const std::string& keys) { ASSERT_EQ(std::system(("xdotool key " + keys).c_str()), 0) << keys; }

// What the tray icon's panel shows when its icon is clicked, one name per line.
std::string panelNames(pid_t pid, const fs::path& trayLog) {
    std::istringstream item(readFile(trayLog));
    std::string service, path;
    item >> service >> path;
    return output({"/usr/bin/python3", PARLOX_SOURCE_DIR "/tests/fixtures/app/tray_panel.py", std::to_string(pid),
                   service, path});
}

TEST(DictationRoad, HotKeyVoiceModelWriterInsertionPanelAndEscape) {
    if (!Microphone::available())
        GTEST_SKIP() << "needs the headless desktop with its sound server (tests/desktop/session.sh)";
    parlox::testing::TemporaryFolder work{"parlox-road-"};

    // Settings: set up already, Codex found at the stand-in, a roomy undo window.
    const nlohmann::json settings = {{"hasFinishedSetup", true},
                                     {"codexPath", PARLOX_SOURCE_DIR "/tests/fixtures/writing/codex"},
                                     {"soundsEnabled", false},
                                     {"screenContext", false},
                                     {"doneSeconds", 60}};
    work.writeFile("defaults.json", settings.dump());
    fs::create_directories(platform::Paths::configDirectory());
    fs::copy_file(work / "defaults.json", platform::Paths::defaultsFile(), fs::copy_options::overwrite_existing);
    setenv("PARLOX_FAKE_SCENARIO", "answer", 1);
    setenv("PARLOX_FAKE_ANSWER", "planeta", 1);

    // The speech model, random, converted where the application keeps it.
    output({PARLOX_TOOLS_DIR "/parlox-make-random-whisper", (work / "checkpoint").string()});
    makeItSay(work / "checkpoint", "\u0120Hola");
    output({PARLOX_TOOLS_DIR "/parlox-convert-whisper", (work / "checkpoint").string(),
            Parlox::EngineTranscriber::localModelFolder().string()});

    // A tray on the session bus, the other program's field, then the application.
    const fs::path trayLog = work / "tray.txt";
    FixtureProcess tray({"/usr/bin/python3", PARLOX_SOURCE_DIR "/tests/fixtures/app/tray_watcher.py", trayLog.string()});
    TextFieldProgram field({TextFieldProgram::Toolkit::qt, "", "hola mundo", 5, 5});
    ASSERT_TRUE(field.waitForField("hola mundo", "mundo"));
    Application parlox;
    ASSERT_GT(parlox.pid(), 0);
    ASSERT_TRUE(logSays("Modelo cargado en", 60s)) << logText();
    ASSERT_TRUE(eventually([&] { return !readFile(trayLog).empty(); }, 10s)) << "no tray icon";

    // Alt+Space, a second of voice, Alt+Space.
    key("alt+space");
    ASSERT_TRUE(logSays("Grabaci\u00F3n iniciada", 10s)) << logText();
    {
        Microphone voice;
        std::this_thread::sleep_for(1500ms);
    }
    key("alt+space");
    EXPECT_TRUE(eventually([&] { return field.field() == std::make_pair(std::string("hola planeta"), std::string("planeta")); },
                           60s))
        << field.field().first << " | " << field.field().second << "\n" << logText();

    // The tray icon's panel offers to take the dictation back.
    const std::string panel = panelNames(parlox.pid(), trayLog);
    EXPECT_NE(panel.find("Recuperar original\n"), std::string::npos) << panel;
    EXPECT_NE(panel.find("Salir de Parlox\n"), std::string::npos) << panel;

    // Escape puts the original back.
    key("Escape");
    EXPECT_TRUE(eventually([&] { return field.field().first == "hola mundo"; }, 20s))
        << field.field().first << "\n" << logText();
    EXPECT_TRUE(parlox.running());
}

}  // namespace
