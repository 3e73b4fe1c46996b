#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Interface/WriterCheck.hpp"
#include "app/Support/Log.hpp"
#include "tests/app/Interface/InterfaceTestSupport.hpp"
#include "writing/ClaudeCodeProvider.hpp"
#include "writing/CodexProvider.hpp"

namespace Parlox {
namespace {

using interface_test::FakeWriterTools;
using interface_test::lastLogLine;
using ParloxCore::AccountStatus;
using ParloxCore::ClaudeCodeProvider;
using ParloxCore::CodexProvider;

TEST(WriterCheck, EqualityComparesThePayloadOfItsOwnCase) {
    EXPECT_NE(WriterCheck::ok(1), WriterCheck::ok(2));
    EXPECT_EQ(WriterCheck::ok(2), WriterCheck::ok(2));
    EXPECT_EQ(WriterCheck::failed("a"), WriterCheck::failed("a"));
    EXPECT_NE(WriterCheck::failed("a"), WriterCheck::failed("b"));
    EXPECT_NE(WriterCheck::failed(""), WriterCheck::idle());
    EXPECT_EQ(WriterCheck::needsPlan(), WriterCheck::needsPlan());
    EXPECT_NE(WriterCheck::needsPlan(), WriterCheck::needsLogin());
}

TEST(WriterCheck, SecondsAreShownWithADecimalComma) {
    EXPECT_EQ(WriterCheck::secondsText(12.34), "12,3 s");
    EXPECT_EQ(WriterCheck::secondsText(0.96), "1,0 s");
    EXPECT_EQ(WriterCheck::secondsText(3), "3,0 s");
}

// One row per situation of the tool: what the quick look and the full check
// answer, what they asked of the tool and what the log says.
TEST(WriterCheck, ChecksFollowTheToolsState) {
    struct Row {
        const char* what;
        WriterProvider provider;
        bool installed;
        AccountStatus status;
        FakeWriterTools::TestOutcome outcome;
        std::optional<WriterCheck> setup;
        WriterCheck run;
        int probes;  // per operation
        int tests;
        std::string log;  // empty: the run logs nothing
    };
    using Outcome = FakeWriterTools::TestOutcome;
    const auto codexTimeout = CodexProvider::CodexError::timedOut(30);
    const auto codexSignIn = CodexProvider::CodexError::notLoggedIn();
    const auto claudeQuota = ClaudeCodeProvider::ClaudeError::quotaExceeded();
    const std::vector<Row> rows{
        {"missing tool", WriterProvider::chatGPT, false, AccountStatus::loggedIn(), Outcome::seconds(1),
         WriterCheck::needsInstall(), WriterCheck::needsInstall(), 0, 0, ""},
        {"signed out", WriterProvider::claude, true, AccountStatus::loggedOut(), Outcome::seconds(1),
         WriterCheck::needsLogin(), WriterCheck::needsLogin(), 1, 0, ""},
        {"plan without access, any name", WriterProvider::chatGPT, true, AccountStatus::planWithoutAccess("x"),
         Outcome::seconds(1), WriterCheck::needsPlan(), WriterCheck::needsPlan(), 1, 0, ""},
        {"unknown account counts as ready", WriterProvider::chatGPT, true, AccountStatus::unknown(),
         Outcome::seconds(0.96), std::nullopt, WriterCheck::ok(0.96), 1, 1, " INFO  Prueba de Codex: 1.0 s"},
        {"signed in", WriterProvider::claude, true, AccountStatus::loggedIn(), Outcome::seconds(4.25),
         std::nullopt, WriterCheck::ok(4.25), 1, 1, " INFO  Prueba de Claude Code: 4.2 s"},
        {"test finds no sign-in", WriterProvider::chatGPT, true, AccountStatus::loggedIn(),
         Outcome::error(codexSignIn), std::nullopt, WriterCheck::needsLogin(), 1, 1,
         " ERROR Prueba de Codex: " + codexSignIn.localizedDescription()},
        {"test times out", WriterProvider::chatGPT, true, AccountStatus::unknown(), Outcome::error(codexTimeout),
         std::nullopt, WriterCheck::failed(codexTimeout.localizedDescription()), 1, 1,
         " ERROR Prueba de Codex: " + codexTimeout.localizedDescription()},
        {"quota", WriterProvider::claude, true, AccountStatus::loggedIn(), Outcome::error(claudeQuota),
         std::nullopt, WriterCheck::failed(claudeQuota.localizedDescription()), 1, 1,
         " ERROR Prueba de Claude Code: " + claudeQuota.localizedDescription()},
    };
    interface_test::Sandboxed sandbox;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto tools = std::make_shared<FakeWriterTools>();
        tools->installed[row.provider] = row.installed;
        tools->status[row.provider] = row.status;
        tools->outcome[row.provider] = row.outcome;
        EXPECT_EQ(WriterCheck::setup(*tools, row.provider), row.setup);
        EXPECT_EQ(tools->probes, row.probes);
        EXPECT_EQ(tools->tests, 0);

        Log::info("marca");
        EXPECT_EQ(WriterCheck::run(*tools, row.provider), row.run);
        EXPECT_EQ(tools->probes, 2 * row.probes);
        EXPECT_EQ(tools->tests, row.tests);
        EXPECT_EQ(tools->testTimeouts, std::vector<double>(row.tests, 30.0));
        const std::string line = lastLogLine();
        const std::string expected = row.log.empty() ? std::string(" INFO  marca") : row.log;
        EXPECT_NE(line.find(expected), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace Parlox
