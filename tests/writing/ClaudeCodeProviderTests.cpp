#include <chrono>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TestSupport.hpp"
#include "writing/ClaudeCodeProvider.hpp"
#include "writing/PromptBuilder.hpp"

using namespace ParloxCore;
using namespace writing_test;
using ClaudeError = ClaudeCodeProvider::ClaudeError;
using Outcome = ClaudeCodeProvider::Outcome;
using Json = nlohmann::json;

namespace {

ClaudeCodeProvider::Configuration claudeConfig(double timeout = 20) {
    return {fixture("claude"), "claude-sonnet-5-5", "low", timeout};
}

GenerationRequest claudeRequest(const std::string& instruction) {
    return {.instruction = instruction, .appName = "Terminal", .personalInstructions = "tutea"};
}

ScenarioRun<ClaudeError> runClaude(const std::string& scenario, double timeout = 20) {
    return runScenario<ClaudeCodeProvider, ClaudeError>(scenario, claudeConfig(timeout), claudeRequest("hola"));
}

}  // namespace

TEST(ClaudeCodeProvider, ArgumentsInTheirExactOrder) {
    std::vector<std::string> expected = {
        "-p", "--model", "claude-sonnet-5-5", "--effort", "low", "--system-prompt",
        PromptBuilder::systemInstructions, "--tools", "", "--setting-sources", "", "--strict-mcp-config",
        "--disable-slash-commands", "--no-session-persistence", "--input-format", "stream-json",
        "--output-format", "stream-json", "--verbose"};
    EXPECT_EQ(ClaudeCodeProvider::arguments(claudeConfig()), expected);
    EXPECT_EQ(expected.size(), 19u);
}

TEST(ClaudeCodeProvider, InputLineWithAndWithoutImage) {
    Sandbox box;
    auto text = ClaudeCodeProvider::input("hola \"tú\"", std::nullopt);
    ASSERT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find('\n'), text.size() - 1);
    auto json = Json::parse(text);
    EXPECT_EQ(json["type"], "user");
    EXPECT_EQ(json["message"]["role"], "user");
    ASSERT_EQ(json["message"]["content"].size(), 1u);
    EXPECT_EQ(json["message"]["content"][0], Json({{"type", "text"}, {"text", "hola \"tú\""}}));

    writeFile(box.root() / "SHOT.JPG", "abcd");
    json = Json::parse(ClaudeCodeProvider::input("p", box.root() / "SHOT.JPG"));
    ASSERT_EQ(json["message"]["content"].size(), 2u);
    EXPECT_EQ(json["message"]["content"][0],
              Json({{"type", "image"},
                    {"source", {{"type", "base64"}, {"media_type", "image/jpeg"}, {"data", "YWJjZA=="}}}}));
    EXPECT_EQ(json["message"]["content"][1]["text"], "p");

    json = Json::parse(ClaudeCodeProvider::input("p", box.root() / "gone.jpg"));
    EXPECT_EQ(json["message"]["content"].size(), 1u);
}

TEST(ClaudeCodeProvider, MediaTypes) {
    EXPECT_EQ(ClaudeCodeProvider::mediaType("a.JPG"), "image/jpeg");
    EXPECT_EQ(ClaudeCodeProvider::mediaType("a.jpeg"), "image/jpeg");
    EXPECT_EQ(ClaudeCodeProvider::mediaType("a.gif"), "image/gif");
    EXPECT_EQ(ClaudeCodeProvider::mediaType("a.WebP"), "image/webp");
    EXPECT_EQ(ClaudeCodeProvider::mediaType("a.heic"), "image/png");
    EXPECT_EQ(ClaudeCodeProvider::mediaType("noext"), "image/png");
}

TEST(ClaudeCodeProvider, ResultEvent) {
    struct Case {
        std::string log;
        std::optional<Outcome> expected;
    };
    const Case cases[] = {
        {"", std::nullopt},
        {"plain\n{not json\n[1]\n{\"type\":\"assistant\"}\n", std::nullopt},
        {"{\"type\":\"result\",\"result\":\"uno\"}\n{\"type\":\"result\",\"result\":\"dos\"}\nbye\n", Outcome::ok("dos")},
        {"{\"type\":\"result\",\"is_error\":true,\"result\":\"\",\"subtype\":\"error_max_turns\"}",
         Outcome::error("error_max_turns")},
        {"{\"type\":\"result\",\"is_error\":true}", Outcome::error("error")},
        {"{\"type\":\"result\",\"is_error\":\"yes\",\"result\":\"x\"}", Outcome::ok("x")},
        {"{\"type\":\"result\",\"result\":5}", Outcome::ok("")},
    };
    for (const auto& c : cases) EXPECT_EQ(ClaudeCodeProvider::result(c.log), c.expected) << c.log;
}

TEST(ClaudeCodeProvider, Classify) {
    struct Case {
        std::string log;
        int exitCode;
        ClaudeError expected;
    };
    const Case cases[] = {
        {"{\"type\":\"x\",\"error\":\"rate_limit\"}\n", 1, ClaudeError::quotaExceeded()},
        {"OAuth token expired; 429", 1, ClaudeError::notLoggedIn()},
        {"Claude AI usage limit reached|123", 1, ClaudeError::quotaExceeded()},
        {"{\"a\":1}\n{\"b\":2}\n", 1, ClaudeError::failed("código de salida 1")},
        {"", 0, ClaudeError::failed("sin respuesta")},
        {"first\n  boom  \n   \t\n{\"x\":1}\n", 1, ClaudeError::failed("  boom  ")},
        {std::string(400, 'y'), 1, ClaudeError::failed(std::string(300, 'y'))},
        {"{\"session_id\":\"c4290000-4011-4000-8000-000000000401\"}", 1, ClaudeError::failed("código de salida 1")},
        {"API Error: 429 {\"type\":\"error\"}", 1, ClaudeError::quotaExceeded()},
    };
    for (const auto& c : cases) EXPECT_EQ(ClaudeCodeProvider::classify(c.log, c.exitCode), c.expected) << c.log;
    EXPECT_EQ(ClaudeError::notInstalled("el PATH").localizedDescription(),
              "No encuentro Claude Code en el PATH. Instálalo desde Ajustes › Redacción.");
    EXPECT_EQ(ClaudeError::timedOut(45.7).localizedDescription(), "Claude no respondió en 45 s.");
    EXPECT_EQ(ClaudeError::notLoggedIn().localizedDescription(),
              "Claude Code no tiene sesión. Ejecuta «claude» en un terminal y escribe /login.");
    EXPECT_EQ(ClaudeError::quotaExceeded().localizedDescription(), "Se ha agotado el uso de tu plan de Claude por ahora.");
    EXPECT_EQ(ClaudeError::emptyResponse().localizedDescription(), "Claude devolvió una respuesta vacía.");
}

TEST(ClaudeCodeProvider, RunsTheToolAndReadsTheResultEvent) {
    Sandbox box;
    box.scenario("ok");
    ClaudeCodeProvider provider(claudeConfig());
    EXPECT_EQ(provider.name(), "Claude");
    auto req = claudeRequest("di \"hola\"");
    EXPECT_EQ(provider.generate(req), "Respuesta: di \"hola\"");
    auto sent = Json::parse(readFile(box.record() / "stdin"));
    EXPECT_EQ(sent["message"]["content"].back()["text"], PromptBuilder::userPrompt(req));
    EXPECT_EQ(lines(readFile(box.record() / "args")).size(), 19u + 9u);  // the system prompt spans ten lines
    EXPECT_TRUE(box.leftovers().empty());
}

TEST(ClaudeCodeProvider, EveryOutcomeOfTheTool) {
    const std::pair<std::string, std::variant<std::string, ClaudeError>> cases[] = {
        {"fenced", "Respuesta: hola\n\nFin"},
        {"not-logged-in", ClaudeError::notLoggedIn()},
        {"quota", ClaudeError::quotaExceeded()},
        {"error", ClaudeError::failed("API Error: 500 Internal server error")},
        {"error-subtype", ClaudeError::failed("error_max_turns")},
        {"unknown", ClaudeError::failed("something unexpected happened")},
        {"empty", ClaudeError::emptyResponse()},
        {"blank", ClaudeError::emptyResponse()},
        {"not-utf8", ClaudeError::failed("la respuesta no es texto UTF-8 válido")},
        {"late-result", "Respuesta: hola"},
    };
    for (const auto& [scenario, expected] : cases) expectOutcome(runClaude(scenario), expected, scenario);
}

TEST(ClaudeCodeProvider, QuietHelperThatKeepsTheOutputOpenDoesNotHoldTheAnswer) {
    expectAnswerWithoutWaitingForTheHelper(runClaude("no-close", 30), 30, "Respuesta: hola");
}

TEST(ClaudeCodeProvider, TimeOutWinsOverWhatTheLogSays) {
    for (std::string scenario : {"hang", "flood", "ignore-term"}) {
        // The tool that ignores TERM has time to set that up, however slow its start.
        const double timeout = scenario == "ignore-term" ? 5 : 0.4;
        auto run = runClaude(scenario, timeout);
        expectOutcome(run, ClaudeError::timedOut(timeout), scenario);
        // Well short of the tool's minute-long hang.
        EXPECT_LT(run.seconds, 20.0) << scenario;
        if (scenario == "ignore-term") {
            EXPECT_FALSE(run.helperPids.empty());
        }
        expectProcessesGone(run.helperPids);
    }
}

TEST(ClaudeCodeProvider, MissingToolIsNotInstalled) {
    Sandbox box;
    ClaudeCodeProvider provider({box.root() / "nope", "m", "low", 5});
    try {
        provider.generate(claudeRequest("hola"));
        ADD_FAILURE();
    } catch (const ClaudeError& e) {
        EXPECT_EQ(e, ClaudeError::notInstalled((box.root() / "nope").string()));
    }
    EXPECT_TRUE(box.leftovers().empty());
}
