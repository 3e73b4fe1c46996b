// The picture of the front window goes to the writing tool only with the
// user's yes, and stops the moment the yes is withdrawn.
#include <filesystem>

#include "app/Support/ScreenContextConsent.hpp"
#include "tests/app/Dictation/DictationFixture.hpp"
#include "writing/CodexProvider.hpp"

namespace dictation_test {
namespace {

using Parlox::ScreenContext;
using Parlox::ScreenContextConsent;

bool noPictureKept() {
    std::error_code none;
    return !std::filesystem::exists(ScreenContext::folder(), none) ||
           std::filesystem::is_empty(ScreenContext::folder(), none);
}

// What the writing step said of the last request's picture.
std::string lastPictureLine(const LogCapture& log) {
    std::string last;
    for (const std::string& line : log.lines())
        if (line.rfind("Captura de la ventana: ", 0) == 0) last = line;
    return last;
}

TEST_F(DictationTest, TheWindowPictureGoesOnlyWithTheUsersYes) {
    struct Case {
        const char* name;
        nlohmann::json stored;
        bool sent;
    };
    const Case cases[] = {
        {"a profile that finished the welcome without a yes", nlohmann::json::object(), false},
        {"the switch on from before anyone asked", {{"screenContext", true}}, false},
        {"a yes", {{"screenContextAllowed", true}}, true},
        {"a yes with the switch on", {{"screenContextAllowed", true}, {"screenContext", true}}, true},
        {"a yes with the switch turned off by hand", {{"screenContextAllowed", true}, {"screenContext", false}}, false},
        {"the yes withdrawn", {{"screenContextAllowed", false}, {"screenContext", false}}, false},
    };
    desktop.focusField(42, "Editor", "hola", {0, 4});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults->remove("screenContextAllowed");
        defaults->remove("screenContext");
        for (const auto& [key, value] : c.stored.items()) defaults->set(key, value);
        writer->requests.clear();
        const size_t captures = screenshots->captures().size();
        desktop.scheduler->advance(10);  // the last undo window closes
        dictate("hazlo formal", "Buenos días");
        ASSERT_EQ(writer->requests.size(), 1u);
        EXPECT_EQ(writer->requests[0].screenshot.has_value(), c.sent);
        EXPECT_EQ(screenshots->captures().size(), captures + (c.sent ? 1 : 0));
        EXPECT_EQ(lastPictureLine(log), c.sent ? "Captura de la ventana: sí" : "Captura de la ventana: no");
    }
}

TEST_F(DictationTest, AYesWithdrawnAfterThePictureWasTakenSendsNone) {
    // The picture that was not sent is gone while the tool runs.
    std::vector<bool> keptWhileWriting;
    writer->whileRunning = [&](std::stop_token) { keptWhileWriting.push_back(!noPictureKept()); };
    ScreenContextConsent::give();
    desktop.focusField(42, "Editor", "hola", {0, 4});
    transcriber->answer("hazlo formal");
    writer->answer("Buenos días");
    toggle();
    ASSERT_EQ(screenshots->captures().size(), 1u);  // taken as the recording starts
    ScreenContextConsent::withdraw();
    speak(2);
    toggle();
    ASSERT_EQ(writer->requests.size(), 1u);
    EXPECT_FALSE(writer->requests[0].screenshot);

    // Nor does a retry send the picture of the dictation that failed.
    ScreenContextConsent::give();
    desktop.scheduler->advance(10);
    writer->answers.clear();
    writer->fail(ParloxCore::CodexProvider::CodexError::quotaExceeded());
    writer->answer("Buenos días");
    transcriber->answer("hazlo formal");
    toggle();
    speak(2);
    toggle();
    ASSERT_EQ(writer->requests.size(), 2u);
    ASSERT_TRUE(writer->requests[1].screenshot);
    ASSERT_EQ(controller->phase(), Phase::failed("Sin cuota"));
    ScreenContextConsent::withdraw();
    controller->retry();
    desktop.scheduler->settle();
    ASSERT_EQ(writer->requests.size(), 3u);
    EXPECT_FALSE(writer->requests[2].screenshot);
    // Sent the second time, dropped the first and third.
    EXPECT_EQ(keptWhileWriting, (std::vector<bool>{false, true, false}));
}

}  // namespace
}  // namespace dictation_test
