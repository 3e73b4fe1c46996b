#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "AppTestSupport.hpp"
#include "writing/ProcessRunner.hpp"

using namespace app_test;
using nlohmann::json;

namespace {

const std::regex secondsLine(R"(\d+\.\d s)");
// What the user can do when Codex is not where it was looked for.
const std::string kInstallIt = ". Instálalo desde Ajustes › Redacción o pon su ruta en «codexPath» (defaults.json).";

std::string codexLine(const std::string& path) { return "codex: " + path + " \u00B7 gpt-5.6-luna, esfuerzo low"; }

// Claude found where its installer puts it, in the sandbox home.
void installClaude(const Sandbox& box) {
    fs::create_directories(box.home() / ".local/bin");
    fs::create_symlink(fixture("claude"), box.home() / ".local/bin/claude");
}

}  // namespace

TEST(CommandLine, UsageForEverythingElse) {
    Sandbox box;
    const std::vector<std::vector<std::string>> cases = {
        {"--generate"},
        {"--iterate", "A", "B", "C"},
        {"--transcribe"},
        {"--render-windows"},
        {"--render-overlay"},
        {"--help"},
        {"--GENERATE", "x"},
    };
    for (const auto& args : cases) {
        auto run = runParlox(args);
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(run.output,
                  "Uso: parlox --transcribe fichero.wav [fichero2 \u2026]\n"
                  "     parlox --generate \"instrucci\u00F3n\" [\"texto base\"]\n")
            << ::testing::PrintToString(args);
    }
}

TEST(CommandLine, GenerateWithCodexPrintsTheDescriptionTheTimeAndTheText) {
    Sandbox box;
    box.scenario("ok");
    writeDefaults(box, {{"codexPath", fixture("codex").string()}});
    auto run = runParlox({"--generate", "instrucción", "texto base", "ignorado"});
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(run.lines.size(), 3u) << run.output;
    EXPECT_EQ(run.lines[0], codexLine(fixture("codex").string()));
    EXPECT_TRUE(std::regex_match(run.lines[1], secondsLine)) << run.lines[1];
    EXPECT_EQ(run.lines[2], "Respuesta: instrucción");

    const auto prompt = readFile(box.record() / "stdin");
    EXPECT_EQ(prompt,
              "<instrucciones_personales>No uses rayas ni guiones largos (—). Tutea salvo que se pida lo "
              "contrario.</instrucciones_personales>\n<app_activa>Terminal</app_activa>\n"
              "<texto_base>texto base</texto_base>\n<instruccion>instrucción</instruccion>");
    EXPECT_TRUE(box.leftovers().empty());
}

TEST(CommandLine, IterateWithClaudeSendsThePreviousRound) {
    Sandbox box;
    box.scenario("ok");
    installClaude(box);
    writeDefaults(box, {{"provider", "claude"}, {"codexEffort", "high"}, {"personalInstructions", ""}});
    auto run = runParlox({"--iterate", "A", "B", "C", "D"});
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(run.lines.size(), 3u) << run.output;
    EXPECT_EQ(run.lines[0], "claude: " + (box.home() / ".local/bin/claude").string() +
                                " \u00B7 claude-sonnet-5-5, esfuerzo high");
    EXPECT_TRUE(std::regex_match(run.lines[1], secondsLine));
    EXPECT_EQ(run.lines[2], "Respuesta: D");

    auto sent = json::parse(readFile(box.record() / "stdin"));
    EXPECT_EQ(sent["message"]["content"].back()["text"],
              "<app_activa>Terminal</app_activa>\n<iteracion_previa><original>A</original>\n"
              "<instruccion_anterior>B</instruccion_anterior>\n<resultado_anterior>C</resultado_anterior>"
              "</iteracion_previa>\n<texto_base>C</texto_base>\n<instruccion>D</instruccion>");
    auto args = lines(readFile(box.record() / "args"));
    ASSERT_GE(args.size(), 5u);
    EXPECT_EQ(args[4], "high");
}

// A test name from the case as it prints: provider_scenario.
template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name = ::testing::PrintToString(info.param);
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

struct ClassifiedFailure {
    std::string provider;
    std::string scenario;
    std::string message;
};

void PrintTo(const ClassifiedFailure& failure, std::ostream* out) {
    *out << failure.provider << "_" << failure.scenario;
}

// A case each, so that a slow run of one is timed alone.
class ClassifiedFailures : public ::testing::TestWithParam<ClassifiedFailure> {};

TEST_P(ClassifiedFailures, ExitOneWithTheirMessage) {
    const auto& c = GetParam();
    Sandbox box;
    box.scenario(c.scenario);
    installClaude(box);
    writeDefaults(box, {{"provider", c.provider}, {"codexPath", fixture("codex").string()}});
    auto run = runParlox({"--generate", "hola"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.lines.size(), 2u) << run.output;
    std::smatch m;
    EXPECT_TRUE(std::regex_match(run.lines[1], m, std::regex(R"(\d+\.\d s · (.*))"))) << run.lines[1];
    EXPECT_EQ(m[1].str(), c.message);
    EXPECT_TRUE(box.leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ClassifiedFailures,
    ::testing::Values(
        ClassifiedFailure{"chatgpt", "not-logged-in", "Codex no tiene sesión. Ejecuta «codex login» en un terminal."},
        ClassifiedFailure{"chatgpt", "quota", "Se ha agotado el uso de Codex del plan de ChatGPT por ahora."},
        ClassifiedFailure{"chatgpt", "error",
                          "Codex falló: ERROR: stream disconnected before completion: connection reset"},
        ClassifiedFailure{"chatgpt", "unknown", "Codex falló: código de salida 3"},
        ClassifiedFailure{"chatgpt", "empty", "Codex devolvió una respuesta vacía."},
        ClassifiedFailure{"chatgpt", "not-utf8", "Codex falló: la respuesta no es texto UTF-8 válido"},
        ClassifiedFailure{"claude", "not-logged-in",
                          "Claude Code no tiene sesión. Ejecuta «claude» en un terminal y escribe /login."},
        ClassifiedFailure{"claude", "quota", "Se ha agotado el uso de tu plan de Claude por ahora."},
        ClassifiedFailure{"claude", "error", "Claude falló: API Error: 500 Internal server error"},
        ClassifiedFailure{"claude", "unknown", "Claude falló: something unexpected happened"},
        ClassifiedFailure{"claude", "empty", "Claude devolvió una respuesta vacía."},
        ClassifiedFailure{"claude", "not-utf8", "Claude falló: la respuesta no es texto UTF-8 válido"}),
    caseName<ClassifiedFailure>);

struct StuckTool {
    std::string provider;
    std::string scenario;
};

// Readable in test names and failure messages instead of raw bytes.
void PrintTo(const StuckTool& tool, std::ostream* out) { *out << tool.provider << "_" << tool.scenario; }

class ToolsThatNeverFinish : public ::testing::TestWithParam<StuckTool> {};

// The time-out is timed as the tool lives: from the tool's start to the end
// of the tool and its helpers, not from the start of the executable, nor to
// its exit (how long it takes to get there or to wind down is its speed).
TEST_P(ToolsThatNeverFinish, EndWithinTheTimeOutAndLeaveNothing) {
    const auto& c = GetParam();
    Sandbox box;
    box.scenario(c.scenario);
    installClaude(box);
    writeDefaults(box, {{"provider", c.provider}, {"codexPath", fixture("codex").string()}, {"timeout", 1}});
    auto parlox = startParlox({"--generate", "hola"});
    const auto began = box.record() / "began";
    const bool started = waitUntil([&] { return !lines(readFile(began)).empty(); }, 60);
    if (started) {
        const pid_t tool = std::stoi(lines(readFile(began)).at(0));
        const auto helpers = lines(readFile(box.record() / "pids"));
        const bool ended = waitUntil(
            [&] {
                return processGone(tool) && std::all_of(helpers.begin(), helpers.end(), [](const auto& helper) {
                           return processGone(std::stoi(helper));
                       });
            },
            60);
        const std::chrono::duration<double> lived = fs::file_time_type::clock::now() - fs::last_write_time(began);
        EXPECT_TRUE(ended) << "the tool or a helper of it was never ended";
        // Room for a busy machine, still far below the 45 s the tool would
        // live with the setting ignored.
        EXPECT_LT(lived.count(), 1 + ParloxCore::ProcessRunner::killGrace + 15.0);
        if (c.scenario == "ignore-term") {
            EXPECT_FALSE(helpers.empty());
        }
    }
    const auto result = parlox.result.get();
    ASSERT_TRUE(started) << "the tool did not start: " << result.output;
    EXPECT_FALSE(result.signaled);
    EXPECT_EQ(result.exitCode, 1);
    const auto output = lines(result.output);
    ASSERT_EQ(output.size(), 2u) << result.output;
    const std::string name = c.provider == "claude" ? "Claude" : "Codex";
    EXPECT_TRUE(std::regex_match(output[1], std::regex(R"(\d+\.\d s · )" + name + " no respondió en 1 s\\.")))
        << output[1];
    EXPECT_TRUE(box.leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(CommandLine, ToolsThatNeverFinish,
                         ::testing::Values(StuckTool{"chatgpt", "hang"}, StuckTool{"chatgpt", "ignore-term"},
                                           StuckTool{"chatgpt", "flood"}, StuckTool{"claude", "ignore-term"},
                                           StuckTool{"claude", "flood"}),
                         caseName<StuckTool>);

TEST(CommandLine, SignalsEndTheToolAndRemoveTheRequestFolder) {
    const std::pair<int, int> cases[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
    for (const auto& [signal, status] : cases) {
        Sandbox box;
        box.scenario("busy");
        writeDefaults(box, {{"codexPath", fixture("codex").string()}});
        auto parlox = startParlox({"--generate", "hola"});
        const bool working = waitUntil([&] { return fs::exists(box.record() / "started"); }, 20);
        if (!working) ::kill(parlox.pid, SIGKILL);
        ASSERT_TRUE(working) << "the tool did not start";
        EXPECT_EQ(box.leftovers().size(), 1u);

        ::kill(parlox.pid, signal);
        const auto result = parlox.result.get();
        EXPECT_FALSE(result.signaled) << strsignal(signal);
        EXPECT_EQ(result.exitCode, status) << strsignal(signal);
        // Nothing is printed after the interruption.
        EXPECT_EQ(lines(result.output), std::vector<std::string>{codexLine(fixture("codex").string())});
        EXPECT_TRUE(box.leftovers().empty()) << strsignal(signal);
        const auto pids = lines(readFile(box.record() / "pids"));
        EXPECT_EQ(pids.size(), 2u);
        expectProcessesGone(pids);
        // Whatever a failure left behind goes now.
        for (const auto& pid : pids) {
            if (!processGone(std::stoi(pid))) ::kill(std::stoi(pid), SIGKILL);
        }
    }
}

TEST(CommandLine, ToolThatCannotBeFoundOrRun) {
    Sandbox box;
    writeFile(box.root() / "plain", "#!/bin/sh\n");
    struct Case {
        json defaults;
        std::string describe;
        std::string message;
    };
    const std::string missing = (box.root() / "missing").string();
    const std::string plain = (box.root() / "plain").string();
    const Case cases[] = {
        {{{"codexPath", missing}}, codexLine("no encontrado"), "No encuentro Codex en " + missing + kInstallIt},
        {{{"codexPath", plain}}, codexLine("no encontrado"), "No encuentro Codex en " + plain + kInstallIt},
        {{{"codexPath", box.root().string()}}, codexLine("no encontrado"),
         "No encuentro Codex en " + box.root().string() + kInstallIt},
        {{{"provider", "claude"}}, "claude: no encontrado \u00B7 claude-sonnet-5-5, esfuerzo low",
         "No encuentro Claude Code en el PATH. Instálalo desde Ajustes › Redacción."},
    };
    for (const auto& c : cases) {
        writeDefaults(box, c.defaults);
        auto run = runParlox({"--generate", "hola"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.lines, (std::vector<std::string>{c.describe, c.message})) << run.output;
    }
}

TEST(CommandLine, EmptyInstructionIsRefusedBeforeAnyToolRuns) {
    Sandbox box;
    box.scenario("ok");
    writeDefaults(box, {{"codexPath", fixture("codex").string()}});
    for (std::string instruction : {"", "  \n\t"}) {
        auto run = runParlox({"--generate", instruction, "base"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.lines, std::vector<std::string>{"La instrucción está vacía: indica qué quieres que escriba."});
    }
    auto run = runParlox({"--iterate", "A", "B", "C", " "});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(fs::exists(box.record() / "began"));
}

TEST(CommandLine, WritesNothingToStandardError) {
    Sandbox box;
    box.scenario("error");
    writeDefaults(box, {{"codexPath", fixture("codex").string()}});
    auto separate = runParlox({"--generate", "hola"});
    auto merged = runParlox({"--generate", "hola"}, true);
    EXPECT_EQ(merged.lines.size(), separate.lines.size());
    EXPECT_EQ(merged.lines.at(0), separate.lines.at(0));
    auto usage = runParlox({"--nope"}, true);
    EXPECT_EQ(usage.lines.size(), 2u);
}

TEST(CommandLine, ProviderValueIsCaseSensitiveAndSettingsAreUsedAsStored) {
    Sandbox box;
    box.scenario("ok");
    installClaude(box);
    writeDefaults(box, {{"provider", "Claude"},
                        {"codexPath", fixture("codex").string()},
                        {"codexModel", "mi-modelo"},
                        {"codexEffort", "medium"}});
    auto run = runParlox({"--generate", "hola"});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.lines.at(0), "codex: " + fixture("codex").string() + " \u00B7 mi-modelo, esfuerzo medium");
    auto args = lines(readFile(box.record() / "args"));
    auto model = std::find(args.begin(), args.end(), "-m");
    ASSERT_NE(model, args.end());
    EXPECT_EQ(*(model + 1), "mi-modelo");
    EXPECT_NE(std::find(args.begin(), args.end(), "model_reasoning_effort=\"medium\""), args.end());
}

TEST(CommandLine, HandEditedDefaultsThatAreNotJsonReadAsNoSettings) {
    Sandbox box;
    writeFile(box.root() / "config" / "Parlox" / "defaults.json", "{ not json");
    auto run = runParlox({"--generate", "hola"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.lines.size(), 2u) << run.output;
    EXPECT_EQ(run.lines[0], codexLine("no encontrado"));
    EXPECT_EQ(run.lines[1], std::string("No encuentro Codex en el PATH") + kInstallIt);
}

// Without arguments the desktop application starts; where it has no X display
// to open it says so and exits 1 instead of aborting inside the toolkit.
TEST(DesktopApplication, WithoutAnXDisplayItSaysSoAndExitsOne) {
    struct Session {
        const char* display;
        const char* wayland;
    };
    // A text console, a Wayland session without its X server, a display
    // whose server is gone.
    const std::vector<Session> sessions = {{nullptr, nullptr}, {nullptr, "wayland-0"}, {":9999", nullptr}};
    for (const auto& session : sessions) {
        Sandbox box;
        box.env().unset("QT_QPA_PLATFORM");
        box.env().unset("DISPLAY");
        box.env().unset("WAYLAND_DISPLAY");
        if (session.display) box.env().set("DISPLAY", session.display);
        if (session.wayland) box.env().set("WAYLAND_DISPLAY", session.wayland);
        const CliRun run = runParlox({}, true);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find("X"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("Reinstalling"), std::string::npos) << run.output;
    }
}
