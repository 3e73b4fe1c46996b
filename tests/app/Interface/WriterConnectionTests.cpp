#include <gtest/gtest.h>

#include "app/Interface/WriterConnection.hpp"
#include "tests/app/Interface/InterfaceTestSupport.hpp"

namespace Parlox {
namespace {

using interface_test::FakeWriterChecker;
using interface_test::RecordedActions;
using interface_test::Settings;
using interface_test::chatGPT;
using interface_test::claude;

class WriterConnectionTest : public ::testing::Test {
protected:
    Settings settings;
    std::shared_ptr<FakeWriterChecker> checker = std::make_shared<FakeWriterChecker>();
    RecordedActions recorded;
    WriterConnection page{checker, recorded.actions()};

    void answerBothLooks(std::optional<WriterCheck> codex, std::optional<WriterCheck> claudeCode) {
        page.firstLook();
        checker->answerSetup(chatGPT, codex);
        checker->answerSetup(claude, claudeCode);
    }
};

TEST_F(WriterConnectionTest, TheFirstLookTestsOnlyTheStoredChoiceWhenBothAreReady) {
    settings->set("provider", "claude");
    answerBothLooks(std::nullopt, std::nullopt);
    EXPECT_EQ(checker->pendingRuns(claude), 1);
    EXPECT_EQ(checker->pendingRuns(chatGPT), 0);
    EXPECT_EQ(page.check(claude), WriterCheck::running());
    EXPECT_EQ(page.check(chatGPT), WriterCheck::idle());
    EXPECT_FALSE(page.isPending(claude));

    checker->answerRun(claude, WriterCheck::ok(2.34));
    EXPECT_EQ(page.connected(), std::optional<WriterProvider>(claude));
    EXPECT_EQ(settings->string("provider"), "claude");
    EXPECT_EQ(page.check(claude), WriterCheck::ok(2.34));
}

TEST_F(WriterConnectionTest, TheFirstLookTakesTheOtherToolWhenTheChoiceIsNotReady) {
    answerBothLooks(WriterCheck::needsInstall(), std::nullopt);
    EXPECT_EQ(checker->pendingRuns(claude), 1);
    checker->answerRun(claude, WriterCheck::ok(1));
    EXPECT_EQ(settings->string("provider"), "claude");
    EXPECT_EQ(page.check(chatGPT), WriterCheck::needsInstall());
}

TEST_F(WriterConnectionTest, WithNeitherReadyNothingIsTestedAndTheLookIsTakenOnce) {
    answerBothLooks(WriterCheck::needsLogin(), WriterCheck::needsPlan());
    EXPECT_TRUE(checker->runs.empty());
    EXPECT_EQ(page.check(chatGPT), WriterCheck::needsLogin());
    EXPECT_EQ(page.check(claude), WriterCheck::needsPlan());
    page.firstLook();
    EXPECT_TRUE(checker->setups.empty());
    EXPECT_FALSE(settings->object("provider"));
}

TEST_F(WriterConnectionTest, UsingAnotherPassingToolMovesTheChoiceWithoutATest) {
    answerBothLooks(std::nullopt, std::nullopt);
    checker->answerRun(chatGPT, WriterCheck::ok(3.3));
    page.connect(claude, true);
    EXPECT_TRUE(page.isPending(claude));
    checker->answerRun(claude, WriterCheck::ok(2.6));
    EXPECT_EQ(page.connected(), std::optional<WriterProvider>(claude));
    EXPECT_FALSE(page.isPending(claude));

    page.choose(chatGPT);
    EXPECT_TRUE(checker->runs.empty());
    EXPECT_EQ(page.connected(), std::optional<WriterProvider>(chatGPT));
    EXPECT_EQ(settings->string("provider"), "chatgpt");
    EXPECT_EQ(page.check(claude), WriterCheck::ok(2.6));
}

TEST_F(WriterConnectionTest, AFailedTestByTheUserStaysPending) {
    answerBothLooks(WriterCheck::needsInstall(), WriterCheck::needsInstall());
    page.connect(claude, true);
    checker->answerRun(claude, WriterCheck::failed("Sin cuota"));
    EXPECT_TRUE(page.isPending(claude));
    EXPECT_FALSE(page.connected());
    EXPECT_EQ(page.check(claude), WriterCheck::failed("Sin cuota"));
}

TEST_F(WriterConnectionTest, AToolWaitedOnIsTestedAndChosenOnceReady) {
    answerBothLooks(WriterCheck::needsInstall(), WriterCheck::needsInstall());
    page.install(claude);
    page.signIn(chatGPT);
    page.seePlans(claude);
    EXPECT_EQ(recorded.opened, (std::vector<std::string>{"install claude", "login chatgpt", "plans"}));
    EXPECT_TRUE(page.isPending(claude));

    page.recheckWaiting();
    checker->answerSetup(chatGPT, std::nullopt);  // ready but pending too: tested
    checker->answerSetup(claude, WriterCheck::needsLogin());
    EXPECT_EQ(page.check(claude), WriterCheck::needsLogin());
    EXPECT_EQ(checker->pendingRuns(chatGPT), 1);
    checker->answerRun(chatGPT, WriterCheck::failed("x"));

    page.recheckWaiting();
    EXPECT_EQ(checker->pendingSetups(chatGPT), 0);  // failed tools are left alone
    checker->answerSetup(claude, std::nullopt);
    EXPECT_EQ(page.check(claude), WriterCheck::running());
    checker->answerRun(claude, WriterCheck::ok(1.5));
    EXPECT_EQ(page.connected(), std::optional<WriterProvider>(claude));
}

TEST_F(WriterConnectionTest, AStepThatCannotOpenKeepsWhatToDoByHandUntilTheToolMovesOn) {
    answerBothLooks(WriterCheck::needsLogin(), WriterCheck::needsInstall());
    recorded.byHand = "No pude abrir un terminal. Abre uno tú y escribe: instalar";
    int changes = 0;
    page.onChange = [&] { ++changes; };
    page.install(claude);
    EXPECT_EQ(page.byHand(claude), recorded.byHand);
    EXPECT_EQ(page.byHand(chatGPT), std::nullopt);
    EXPECT_TRUE(page.isPending(claude));
    EXPECT_EQ(changes, 2);  // pending, then the text

    // A re-check that finds the same state keeps it; a new state drops it.
    page.recheckWaiting();
    checker->answerSetup(chatGPT, WriterCheck::needsLogin());
    checker->answerSetup(claude, WriterCheck::needsInstall());
    EXPECT_EQ(page.byHand(claude), recorded.byHand);
    page.recheckWaiting();
    checker->answerSetup(chatGPT, WriterCheck::needsLogin());
    checker->answerSetup(claude, WriterCheck::needsLogin());
    EXPECT_EQ(page.byHand(claude), std::nullopt);

    // Asking again starts afresh: a step that opens leaves nothing behind.
    page.signIn(claude);
    EXPECT_TRUE(page.byHand(claude));
    recorded.byHand.reset();
    page.signIn(claude);
    EXPECT_EQ(page.byHand(claude), std::nullopt);
    page.seePlans(chatGPT);
    EXPECT_EQ(recorded.opened, (std::vector<std::string>{"install claude", "login claude", "login claude", "plans"}));
}

TEST_F(WriterConnectionTest, AToolThatBecomesReadyWithoutBeingPendingIsOfferedAgain) {
    answerBothLooks(WriterCheck::needsLogin(), WriterCheck::needsInstall());
    page.recheckWaiting();
    checker->answerSetup(chatGPT, std::nullopt);
    checker->answerSetup(claude, WriterCheck::needsInstall());
    EXPECT_EQ(page.check(chatGPT), WriterCheck::idle());
    EXPECT_TRUE(checker->runs.empty());
}

TEST_F(WriterConnectionTest, OverlappingRechecksStartOneTest) {
    answerBothLooks(WriterCheck::needsInstall(), WriterCheck::needsLogin());
    page.signIn(claude);
    page.recheckWaiting();
    page.recheckWaiting();
    EXPECT_EQ(checker->pendingSetups(claude), 2);
    checker->answerSetup(claude, std::nullopt);
    checker->answerSetup(claude, std::nullopt);
    EXPECT_EQ(checker->pendingRuns(claude), 1);
    // A look that lands while the test runs leaves it alone.
    page.recheckWaiting();
    EXPECT_EQ(checker->pendingSetups(claude), 0);
    EXPECT_EQ(page.check(claude), WriterCheck::running());
}

TEST_F(WriterConnectionTest, APinnedPageNeverLooksOrChecks) {
    auto pinned = WriterConnection::pinned({{chatGPT, WriterCheck::needsInstall()}, {claude, WriterCheck::running()}},
                                           std::nullopt);
    pinned->firstLook();
    pinned->recheckWaiting();
    pinned->connect(claude, true);
    EXPECT_EQ(pinned->check(chatGPT), WriterCheck::needsInstall());
    EXPECT_EQ(pinned->check(claude), WriterCheck::running());
    EXPECT_TRUE(pinned->isPinned());
}

TEST_F(WriterConnectionTest, ResultsArrivingAfterThePageIsGoneAreDropped) {
    auto shortLived = std::make_unique<WriterConnection>(checker, recorded.actions());
    shortLived->connect(claude, true);
    shortLived.reset();
    checker->answerRun(claude, WriterCheck::ok(1));
    EXPECT_FALSE(settings->object("provider"));
}

}  // namespace
}  // namespace Parlox
