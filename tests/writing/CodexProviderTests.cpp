#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "platform/process/ProcessError.hpp"
#include "TestSupport.hpp"
#include "writing/CodexProvider.hpp"
#include "writing/PromptBuilder.hpp"

using namespace ParloxCore;
using namespace writing_test;
using CodexError = CodexProvider::CodexError;

namespace {

CodexProvider::Configuration codexConfig(double timeout = 20) {
    return {fixture("codex"), "gpt-5.6-luna", "low", timeout};
}

GenerationRequest codexRequest(const std::string& instruction) {
    return {.instruction = instruction, .baseText = "base", .appName = "Terminal", .personalInstructions = "tutea"};
}

ScenarioRun<CodexError> runCodex(const std::string& scenario, double timeout = 20) {
    return runScenario<CodexProvider, CodexError>(scenario, codexConfig(timeout), codexRequest("hola"));
}

}  // namespace

TEST(CodexProvider, ArgumentsInTheirExactOrder) {
    const auto c = codexConfig();
    std::vector<std::string> expected = {
        "exec", "--skip-git-repo-check", "--ephemeral", "--ignore-user-config", "--ignore-rules", "--color", "never",
        "-s", "read-only", "-C", "/w", "-m", "gpt-5.6-luna", "-c", "model_reasoning_effort=\"low\"", "-c",
        "model_instructions_file=\"/w/instructions.md\"", "-c", "web_search=\"disabled\""};
    for (const char* f : {"shell_tool", "apps", "plugins", "image_generation", "browser_use", "computer_use",
                          "view_image", "sleep_tool", "skill_search", "tool_suggest", "goals"}) {
        expected.push_back("--disable");
        expected.push_back(f);
    }
    auto withoutImage = expected;
    withoutImage.insert(withoutImage.end(), {"-o", "/w/last-message.txt", "-"});
    EXPECT_EQ(CodexProvider::arguments(c, "/w/instructions.md", "/w/last-message.txt", "/w", {}), withoutImage);
    auto withImage = expected;
    withImage.insert(withImage.end(), {"-i", "/s/shot.jpg", "-o", "/w/last-message.txt", "-"});
    EXPECT_EQ(CodexProvider::arguments(c, "/w/instructions.md", "/w/last-message.txt", "/w", {"/s/shot.jpg"}),
              withImage);
}

TEST(CodexProvider, Classify) {
    struct Case {
        std::string log;
        int exitCode;
        CodexError expected;
    };
    const std::string longLine = "error: " + std::string(493, 'x');
    const Case cases[] = {
        {"HTTP 429 too many", 1, CodexError::quotaExceeded()},
        {"got 401 then 429", 1, CodexError::notLoggedIn()},
        {"You are NOT LOGGED IN", 0, CodexError::notLoggedIn()},
        {"Quota exceeded", 1, CodexError::quotaExceeded()},
        {"start\nError: bad thing\nclosing\n", 1, CodexError::failed("Error: bad thing")},
        {"a [ERROR] in caps\nlast line\n", 1, CodexError::failed("a [ERROR] in caps")},
        {"Error without colon\n", 2, CodexError::failed("código de salida 2")},
        {longLine, 1, CodexError::failed("error: " + std::string(293, 'x'))},
        {"", 0, CodexError::failed("")},
        {"workdir: /run/user/0/parlox-7A429B01-4010-4C29-8F01-0123456789AB\n", 0, CodexError::failed("")},
        {"status=429", 1, CodexError::quotaExceeded()},
        {"(401)", 1, CodexError::notLoggedIn()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CodexProvider::classify(c.log, c.exitCode), c.expected) << c.log;
    }
}

TEST(CodexProvider, ErrorTexts) {
    EXPECT_EQ(CodexError::timedOut(45).localizedDescription(), "Codex no respondió en 45 s.");
    EXPECT_EQ(CodexError::timedOut(29.9).localizedDescription(), "Codex no respondió en 29 s.");
    EXPECT_EQ(CodexError::timedOut(1e300).localizedDescription().rfind("Codex no respondió en ", 0), 0u);
    EXPECT_EQ(CodexError::notInstalled("el PATH").localizedDescription(),
              "No encuentro Codex en el PATH. Instálalo desde Ajustes › Redacción o pon su ruta en «codexPath» "
              "(defaults.json).");
    EXPECT_EQ(CodexError::failed("x").localizedDescription(), "Codex falló: x");
    EXPECT_EQ(CodexError::notLoggedIn().localizedDescription(),
              "Codex no tiene sesión. Ejecuta «codex login» en un terminal.");
    EXPECT_EQ(CodexError::quotaExceeded().localizedDescription(),
              "Se ha agotado el uso de Codex del plan de ChatGPT por ahora.");
    EXPECT_EQ(CodexError::emptyResponse().localizedDescription(), "Codex devolvió una respuesta vacía.");
}

TEST(CodexProvider, RunsTheToolAndReturnsTheCleanedAnswer) {
    Sandbox box;
    box.scenario("ok");
    CodexProvider provider(codexConfig());
    EXPECT_EQ(provider.name(), "Codex");
    auto req = codexRequest("escribe «hola»");
    req.screenshot = box.root() / "shot.jpg";
    EXPECT_EQ(provider.generate(req), "Respuesta: escribe «hola»");

    EXPECT_EQ(readFile(box.record() / "stdin"), PromptBuilder::userPrompt(req));
    EXPECT_EQ(readFile(box.record() / "instructions"), PromptBuilder::systemInstructions);
    auto args = lines(readFile(box.record() / "args"));
    ASSERT_GE(args.size(), 3u);
    EXPECT_EQ(args.front(), "exec");
    EXPECT_EQ(args.back(), "-");
    const auto workDir = lines(readFile(box.record() / "cwd")).at(0);
    EXPECT_EQ(fs::path(workDir).parent_path(), fs::canonical(box.runtime()));
    EXPECT_EQ(fs::path(workDir).filename().string().rfind("parlox-", 0), 0u);
    EXPECT_EQ(fs::path(workDir).filename().string().size(), 7u + 36u);
    EXPECT_NE(std::find(args.begin(), args.end(), "-i"), args.end());
    EXPECT_EQ(readFile(box.record() / "mode"), "700\n");

    auto env = lines(readFile(box.record() / "env"));
    EXPECT_NE(std::find(env.begin(), env.end(),
                        "PATH=" + box.home().string() +
                            "/.local/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin"),
              env.end());
    EXPECT_NE(std::find(env.begin(), env.end(), "NO_COLOR=1"), env.end());
    EXPECT_TRUE(box.leftovers().empty());
}

TEST(CodexProvider, EveryOutcomeOfTheTool) {
    const std::pair<std::string, std::variant<std::string, CodexError>> cases[] = {
        {"fenced", "Respuesta: hola\n\nFin"},
        {"not-logged-in", CodexError::notLoggedIn()},
        {"quota", CodexError::quotaExceeded()},
        {"error", CodexError::failed("ERROR: stream disconnected before completion: connection reset")},
        {"unknown", CodexError::failed("código de salida 3")},
        {"empty", CodexError::emptyResponse()},
        {"blank", CodexError::emptyResponse()},
        {"not-utf8", CodexError::failed("la respuesta no es texto UTF-8 válido")},
    };
    for (const auto& [scenario, expected] : cases) expectOutcome(runCodex(scenario), expected, scenario);
}

TEST(CodexProvider, ToolsThatDoNotEndAreStoppedAtTheTimeOut) {
    for (std::string scenario : {"hang", "flood", "ignore-term"}) {
        // The tool that ignores TERM has time to set that up, however slow its start.
        const double timeout = scenario == "ignore-term" ? 5 : 0.5;
        auto run = runCodex(scenario, timeout);
        expectOutcome(run, CodexError::timedOut(timeout), scenario);
        EXPECT_EQ(CodexError::timedOut(0.5).localizedDescription(), "Codex no respondió en 0 s.");
        // Well short of the tool's minute-long hang.
        EXPECT_LT(run.seconds, 20.0) << scenario;
        if (scenario == "ignore-term") {
            EXPECT_FALSE(run.helperPids.empty());
            expectProcessesGone(run.helperPids);
        }
    }
}

TEST(CodexProvider, QuietHelperThatKeepsTheOutputOpenDoesNotHoldTheAnswer) {
    expectAnswerWithoutWaitingForTheHelper(runCodex("no-close", 30), 30, "Respuesta: hola");
}

TEST(CodexProvider, MissingOrUnusableToolIsNotInstalledAndCreatesNothing) {
    Sandbox box;
    writeFile(box.root() / "plain", "#!/bin/sh\necho\n");
    for (const fs::path& path : {box.root() / "missing", box.root() / "plain", box.root()}) {
        CodexProvider provider({path, "m", "low", 5});
        try {
            provider.generate(codexRequest("hola"));
            ADD_FAILURE() << path;
        } catch (const CodexError& e) {
            EXPECT_EQ(e, CodexError::notInstalled(path.string()));
        }
        EXPECT_TRUE(box.leftovers().empty());
    }
}

TEST(CodexProvider, ALaunchFailurePassesThroughAndTheFolderGoes) {
    Sandbox box;
    writeFile(box.root() / "junk", std::string("\x7f" "ELF junk", 8), fs::perms::owner_all);
    CodexProvider provider({box.root() / "junk", "m", "low", 5});
    EXPECT_THROW(provider.generate(codexRequest("hola")), platform::process::ProcessError);
    EXPECT_TRUE(box.leftovers().empty());
}

TEST(CodexProvider, StopRequestEndsTheTool) {
    Sandbox box;
    box.scenario("hang");
    // The time-out is past the tool's own minute-long hang: only the stop ends it early.
    CodexProvider provider(codexConfig(120));
    std::stop_source source;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        source.request_stop();
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(provider.generate(codexRequest("hola"), source.get_token()), CodexError);
    stopper.join();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
    EXPECT_TRUE(box.leftovers().empty());
}

TEST(CodexProvider, CheckTimesARealRequest) {
    Sandbox box;
    box.scenario("ok");
    CodexProvider provider(codexConfig());
    double seconds = provider.check();
    EXPECT_GT(seconds, 0.0);
    EXPECT_NE(readFile(box.record() / "stdin").find("<instruccion>Responde solo con la palabra: listo</instruccion>"),
              std::string::npos);
}
