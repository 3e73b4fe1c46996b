// The whole road on programs nobody on the team wrote, as a new user runs
// it, on the headless desktop (tests/desktop/session.sh): a GTK text editor,
// a Qt 5 text editor, a text area in a web browser with accessibility on,
// and a terminal. The parlox program itself, the stand-in Codex answering
// "planeta" over "hola mundo" with "mundo" selected, the hot keys pressed
// with xdotool, and Escape pressed the moment the answer shows.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "platform/accessibility/AtspiClient.hpp"
#include "platform/desktop/ClipboardOwnerProcess.hpp"
#include "platform/desktop/X11Pasteboard.hpp"
#include "platform/input/XTestInput.hpp"
#include "tests/app/X11/RoadSupport.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace parlox::road;
using parlox::testing::eventually;
using parlox::testing::readFile;
using parlox::testing::TemporaryFolder;

// A program of the system, started in a process group of its own (a browser
// starts helpers) with its output in `log`; the group is ended when the
// object goes.
class Program {
public:
    Program(const std::vector<std::string>& command, const fs::path& log) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        std::vector<char*> argv;
        for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (::posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), environ) != 0) pid_ = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() {
        if (pid_ <= 0) return;
        ::kill(-pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 300 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) std::this_thread::sleep_for(10ms);
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// Gives the program's visible window the keyboard focus, as a click would.
bool focusWindowOf(pid_t pid) {
    const std::string command = "w=$(xdotool search --onlyvisible --pid " + std::to_string(pid) +
                                " 2>/dev/null | head -n1) && [ -n \"$w\" ] && xdotool windowfocus --sync \"$w\"";
    return std::system(command.c_str()) == 0;
}

// The focused element's text and selected text, read over accessibility.
std::pair<std::string, std::string> focusedField(pid_t pid) {
    auto element = platform::accessibility::AtspiClient::shared().focusedElement(pid);
    if (!element) return {};
    std::string selected;
    if (auto range = element->selection()) selected = element->textIn(range->first, range->second).value_or("");
    return {element->text().value_or(""), selected};
}

// One program of the road, and how a user gets "hola mundo" into it with
// "mundo" selected.
struct RealProgram {
    const char* name;
    // The command that starts it, given the test's folder.
    std::function<std::vector<std::string>(const TemporaryFolder&)> command;
    // Once its window has the focus: selects "mundo" (the text is there).
    std::function<void(pid_t)> selectWord;
    bool terminal = false;
};

void PrintTo(const RealProgram& program, std::ostream* os) { *os << program.name; }

// A file holding "hola mundo", opened by a text editor; the end of the text
// and a word back selects "mundo".
std::vector<std::string> editorOpening(const char* editor, const TemporaryFolder& work) {
    return {editor, work.writeFile("texto.txt", "hola mundo").string()};
}
void selectLastWordByKeys(pid_t) { key("ctrl+End ctrl+shift+Left"); }

// A page with a text area that selects "mundo" itself.
std::vector<std::string> browserOpening(const TemporaryFolder& work) {
    const fs::path page = work.writeFile("pagina.html",
                                         "<!doctype html><meta charset=\"utf-8\"><title>Campo</title>"
                                         "<textarea id=\"t\" rows=\"5\" cols=\"40\">hola mundo</textarea>"
                                         "<script>const t = document.getElementById('t');"
                                         "t.focus(); t.setSelectionRange(5, 10);</script>");
    fs::create_directories(work / "profile");
    return {"chromium", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", "--force-renderer-accessibility",
            "--user-data-dir=" + (work / "profile").string(), "file://" + page.string()};
}
void pageSelectsItself(pid_t) {}

// A terminal whose shell is the stand-in that records what reaches it; the
// user types "hola mundo" and double-clicks "mundo".
fs::path shellInput(const TemporaryFolder& work) { return work / "shell-input.bin"; }
std::vector<std::string> terminalOpening(const TemporaryFolder& work) {
    return {"lxterminal", "--no-remote", "-e",
            "/usr/bin/python3 " PARLOX_SOURCE_DIR "/tests/fixtures/desktop/stand_in_shell.py " +
                shellInput(work).string()};
}
void doubleClickLastWord(pid_t pid) {
    key("--delay 20 h o l a space m u n d o");
    auto element = platform::accessibility::AtspiClient::shared().focusedElement(pid);
    ASSERT_TRUE(element);
    std::optional<long> word;
    ASSERT_TRUE(eventually(
        [&] {
            const auto text = element->text().value_or("");
            if (const auto at = text.find("hola mundo"); at != std::string::npos) word = static_cast<long>(at) + 5;
            return word.has_value();
        },
        30s));
    const auto bounds = element->bounds(*word, 5);
    ASSERT_TRUE(bounds);
    const std::string click = "xdotool mousemove " + std::to_string(static_cast<int>(bounds->x + bounds->width / 2)) +
                              " " + std::to_string(static_cast<int>(bounds->y + bounds->height / 2)) +
                              " click --repeat 2 1";
    ASSERT_EQ(std::system(click.c_str()), 0);
}

class RealProgramRoad : public ::testing::TestWithParam<RealProgram> {};

TEST_P(RealProgramRoad, AnswerReplacesTheSelectionClipboardComesBackAndEscapeRestores) {
    ASSERT_TRUE(parlox::testing::Microphone::available());
    const RealProgram& kind = GetParam();
    TemporaryFolder work{"parlox-real-"};
    ASSERT_NO_FATAL_FAILURE(prepareApplication(work));

    // The user had copied something; parlox runs; then the program starts.
    auto user = platform::desktop::ClipboardOwnerProcess::start(platform::desktop::textForms("texto del usuario"));
    Application parlox;
    ASSERT_GT(parlox.pid(), 0);
    ASSERT_TRUE(logSays("Modelo cargado en", 60s)) << logText();
    Program program(kind.command(work), work / "program.log");
    ASSERT_GT(program.pid(), 0);
    // Up with its field focused: the editors show the file, the shell runs.
    ASSERT_TRUE(eventually(
        [&] {
            if (!focusWindowOf(program.pid())) return false;
            if (kind.terminal) return fs::exists(shellInput(work)) && focusedField(program.pid()).first.find('$') == 0;
            return focusedField(program.pid()).first.find("hola") != std::string::npos;
        },
        60s))
        << kind.name << " did not show its field\n" << readFile(work / "program.log");
    ASSERT_NO_FATAL_FAILURE(kind.selectWord(program.pid()));
    ASSERT_TRUE(eventually([&] { return focusedField(program.pid()).second == "mundo"; }, 10s))
        << focusedField(program.pid()).first;

    platform::input::XTestInput keyboard;
    ASSERT_NO_FATAL_FAILURE(dictate());
    // The user presses Escape the moment the answer shows, while parlox
    // may still be holding the paste or reading it back.
    const bool shown = eventually(
        [&] {
            if (kind.terminal) return readFile(shellInput(work)).find("planeta") != std::string::npos;
            return focusedField(program.pid()).first == "hola planeta";
        },
        answerWithin);
    if (shown) {
        ASSERT_TRUE(keyboard.tap({}, "Escape"));
    }
    ASSERT_TRUE(shown) << focusedField(program.pid()).first << "\n" << logText();

    platform::desktop::X11Pasteboard pasteboard;
    auto clipboardIsTheUsers = [&] { return pasteboard.string() == std::optional<std::string>("texto del usuario"); };
    if (kind.terminal) {
        // A terminal's text has no undo: the Escape is the terminal's, and
        // what the user had copied stays on the clipboard.
        EXPECT_TRUE(eventually([&] { return readFile(shellInput(work)).find('\x1b') != std::string::npos; }, 60s))
            << readFile(shellInput(work)) << "\n" << logText();
        EXPECT_TRUE(logSays("Insertado", 60s)) << logText();
        EXPECT_TRUE(clipboardIsTheUsers()) << pasteboard.string().value_or("(nothing)");
        // Nothing ran, nothing was interrupted or suspended.
        const std::string input = readFile(shellInput(work));
        EXPECT_EQ(input.rfind("hola mundo", 0), 0u) << input;
        EXPECT_NE(input.find("planeta"), std::string::npos) << input;
        for (const char control : {'\r', '\n', '\x03', '\x1a'})
            EXPECT_EQ(input.find(control), std::string::npos) << "byte " << int(control) << " in " << input;
    } else {
        EXPECT_TRUE(eventually([&] { return focusedField(program.pid()).first == "hola mundo"; }, 60s))
            << focusedField(program.pid()).first << "\n" << logText();
        EXPECT_TRUE(logSays("Deshecho (Accesibilidad)", 30s)) << logText();
        EXPECT_TRUE(logSays("Insertado y seleccionado", 30s)) << logText();
        EXPECT_TRUE(eventually(clipboardIsTheUsers, 30s)) << pasteboard.string().value_or("(nothing)");
    }
    // Read over accessibility, with a caret to place the indicator by.
    const std::string log = logText();
    EXPECT_NE(log.find("m\u00E9todo Accesibilidad"), std::string::npos) << log;
    EXPECT_NE(log.find("cursor s\u00ED"), std::string::npos) << log;
    // Text that went in is never reported as a dictation called off.
    EXPECT_EQ(log.find("Cancelado"), std::string::npos) << log;
    if (kind.terminal) {
        EXPECT_EQ(log.find("deshace"), std::string::npos) << log;
        EXPECT_EQ(log.find("No se pudo deshacer"), std::string::npos) << log;
    }
    EXPECT_TRUE(parlox.running());
}

INSTANTIATE_TEST_SUITE_P(
    Programs, RealProgramRoad,
    ::testing::Values(
        RealProgram{"GtkTextEditor", [](const TemporaryFolder& w) { return editorOpening("mousepad", w); },
                    selectLastWordByKeys},
        RealProgram{"Qt5TextEditor", [](const TemporaryFolder& w) { return editorOpening("featherpad", w); },
                    selectLastWordByKeys},
        RealProgram{"BrowserTextArea", browserOpening, pageSelectsItself},
        RealProgram{"Terminal", terminalOpening, doubleClickLastWord, /*terminal=*/true}),
    [](const ::testing::TestParamInfo<RealProgram>& info) { return std::string(info.param.name); });

// A settings profile, and whether a request made with it carries the
// picture of the front window.
struct PictureProfile {
    const char* name;
    nlohmann::json settings;
    bool sent;
};

void PrintTo(const PictureProfile& profile, std::ostream* os) { *os << profile.name; }

// The lines of a file, one argument each.
std::vector<std::string> linesOf(const fs::path& file) {
    std::vector<std::string> lines;
    std::istringstream in(readFile(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class WindowPictureRoad : public ::testing::TestWithParam<PictureProfile> {};

// A profile that finished the welcome without saying yes, or one that kept
// the switch an earlier version turned on by itself, sends no picture of
// the editor's window; one that said yes sends it.
TEST_P(WindowPictureRoad, GoesWithTheRequestOnlyAfterTheUsersYes) {
    ASSERT_TRUE(parlox::testing::Microphone::available());
    const PictureProfile& profile = GetParam();
    TemporaryFolder work{"parlox-picture-"};
    ASSERT_NO_FATAL_FAILURE(prepareApplication(work, profile.settings));
    // The stand-in Codex writes down the arguments it was given.
    setenv("PARLOX_FAKE_RECORD", (work / "codex").c_str(), 1);
    struct Unset {
        ~Unset() { unsetenv("PARLOX_FAKE_RECORD"); }
    } unset;

    Application parlox;
    ASSERT_GT(parlox.pid(), 0);
    ASSERT_TRUE(logSays("Modelo cargado en", 60s)) << logText();
    Program editor(editorOpening("mousepad", work), work / "program.log");
    ASSERT_GT(editor.pid(), 0);
    ASSERT_TRUE(eventually(
        [&] {
            return focusWindowOf(editor.pid()) && focusedField(editor.pid()).first.find("hola") != std::string::npos;
        },
        60s))
        << readFile(work / "program.log");
    ASSERT_NO_FATAL_FAILURE(selectLastWordByKeys(editor.pid()));
    ASSERT_TRUE(eventually([&] { return focusedField(editor.pid()).second == "mundo"; }, 10s));

    ASSERT_NO_FATAL_FAILURE(dictate());
    ASSERT_TRUE(eventually([&] { return focusedField(editor.pid()).first == "hola planeta"; }, answerWithin))
        << focusedField(editor.pid()).first << "\n" << logText();

    // The request's picture is the tool's "-i" argument.
    const std::vector<std::string> arguments = linesOf(work / "codex" / "args");
    ASSERT_FALSE(arguments.empty());
    const auto image = std::find(arguments.begin(), arguments.end(), "-i");
    const bool sent = image != arguments.end();
    EXPECT_EQ(sent, profile.sent) << "the tool's arguments:\n" << readFile(work / "codex" / "args");
    if (profile.sent) {
        ASSERT_TRUE(sent && image + 1 != arguments.end());
        EXPECT_EQ(fs::path(*(image + 1)).parent_path().filename(), "parlox-screens");
    }
    EXPECT_TRUE(logSays(profile.sent ? "Captura de la ventana: s\u00ED" : "Captura de la ventana: no", 5s))
        << logText();
    EXPECT_EQ(logText().find("Captura fallida"), std::string::npos) << logText();
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, WindowPictureRoad,
    ::testing::Values(
        PictureProfile{"FinishedTheWelcomeWithoutAYes", {{"screenContext", nullptr}}, false},
        PictureProfile{"SwitchOnFromAnEarlierVersion", {{"screenContext", true}}, false},
        PictureProfile{"SaidYes", {{"screenContext", nullptr}, {"screenContextAllowed", true}}, true}),
    [](const ::testing::TestParamInfo<PictureProfile>& info) { return std::string(info.param.name); });

}  // namespace
