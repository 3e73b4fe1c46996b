// The whole road on a headless desktop (tests/desktop/session.sh): parlox
// started without arguments, a Qt text field of another program, a random
// speech model converted with the project's tool, the stand-in Codex, a
// microphone fed through the sound server, and the hot keys pressed with
// xdotool.
#include <sstream>

#include "tests/app/X11/RoadSupport.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace parlox::road;
using parlox::testing::eventually;
using parlox::testing::FixtureProcess;
using parlox::testing::Microphone;
using parlox::testing::readFile;
using parlox::testing::TextFieldProgram;

// What the tray icon's panel shows when its icon is clicked, one name per line.
std::string panelNames(pid_t pid, const fs::path& trayLog) {
    std::istringstream item(readFile(trayLog));
    std::string service, path;
    item >> service >> path;
    return output({"/usr/bin/python3", PARLOX_SOURCE_DIR "/tests/fixtures/app/tray_panel.py", std::to_string(pid),
                   service, path});
}

TEST(DictationRoad, HotKeyVoiceModelWriterInsertionPanelAndEscape) {
    ASSERT_TRUE(Microphone::available());
    parlox::testing::TemporaryFolder work{"parlox-road-"};

    ASSERT_NO_FATAL_FAILURE(prepareApplication(work));

    // A tray on the session bus, the other program's field, then the application.
    const fs::path trayLog = work / "tray.txt";
    FixtureProcess tray({"/usr/bin/python3", PARLOX_SOURCE_DIR "/tests/fixtures/app/tray_watcher.py", trayLog.string()});
    TextFieldProgram field({TextFieldProgram::Toolkit::qt, "", "hola mundo", 5, 5});
    ASSERT_TRUE(field.waitForField("hola mundo", "mundo"));
    Application parlox;
    ASSERT_GT(parlox.pid(), 0);
    ASSERT_TRUE(logSays("Modelo cargado en", 60s)) << logText();
    ASSERT_TRUE(eventually([&] { return !readFile(trayLog).empty(); }, 10s)) << "no tray icon";

    ASSERT_NO_FATAL_FAILURE(dictate());
    EXPECT_TRUE(eventually([&] { return field.field() == std::make_pair(std::string("hola planeta"), std::string("planeta")); },
                           answerWithin))
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
