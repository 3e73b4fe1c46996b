#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/Context/ScreenContext.hpp"
#include "app/Support/ScreenContextConsent.hpp"
#include "app/System/Permissions.hpp"
#include "platform/desktop/fake/FakeWindowScreenshot.hpp"
#include "platform/desktop/fake/FakeWorkspace.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"
#include "tests/app/Dictation/DictationFixture.hpp"

namespace {

using Parlox::ScreenContext;
using platform::Rect;
using platform::desktop::CapturableWindow;
using platform::desktop::FakeWindowScreenshot;
using platform::desktop::WindowInfo;

TEST(ScreenContextSize, LongerSideAtMostSixteenHundredPixels) {
    struct Case {
        CapturableWindow window;
        std::pair<int, int> size;
    };
    for (const Case& c : {Case{{1, Rect{0, 0, 3200, 2000}, 1}, {1600, 1000}},
                          Case{{1, Rect{0, 0, 1200, 800}, 1}, {1200, 800}},
                          Case{{1, Rect{0, 0, 1000, 500}, 2}, {1600, 800}},
                          Case{{1, Rect{0, 0, 1000, 3333}, 1}, {480, 1600}}})
        EXPECT_EQ(ScreenContext::pictureSize(c.window), c.size);
}

TEST(ScreenContextFrontWindow, FirstOrdinaryWindowOfTheProcess) {
    const std::vector<WindowInfo> windows{{10, 42, 3, {}}, {11, 43, 0, {}}, {12, 42, 0, {}}, {13, 42, 0, {}}};
    EXPECT_EQ(ScreenContext::frontWindow(windows, 42), 12u);
    EXPECT_EQ(ScreenContext::frontWindow(windows, 44), std::nullopt);
    EXPECT_EQ(ScreenContext::frontWindow({{10, 42, 8, {}}}, 42), std::nullopt);
}

class ScreenContextTest : public ::testing::Test {
public:
    void SetUp() override {
        app_test::useSandbox();
        previous = platform::UserDefaults::setStandard(defaults);
        defaults->set(Parlox::ScreenContextConsent::key, true);
        Parlox::FakePermissions::reload();
        arrangeDesktop();
        ScreenContext::discardAll();
    }
    void arrangeDesktop() {
        screenshots = std::make_shared<FakeWindowScreenshot>();
        screen = ScreenContext(workspace, screenshots);
        workspace->setWindows({{900, 42, 0, Rect{0, 0, 3200, 2000}}});
        screenshots->setWindows({{900, Rect{0, 0, 3200, 2000}, 1}});
    }
    void TearDown() override {
        ScreenContext::discardAll();
        platform::UserDefaults::setStandard(previous);
        Parlox::FakePermissions::reload();
    }

    std::shared_ptr<platform::InMemoryUserDefaults> defaults = std::make_shared<platform::InMemoryUserDefaults>();
    std::shared_ptr<platform::UserDefaults> previous;
    std::shared_ptr<platform::desktop::FakeWorkspace> workspace = std::make_shared<platform::desktop::FakeWorkspace>();
    std::shared_ptr<FakeWindowScreenshot> screenshots = std::make_shared<FakeWindowScreenshot>();
    ScreenContext screen{workspace, screenshots};
    dictation_test::LogCapture log;
};

TEST_F(ScreenContextTest, StoresAPrivateScaledJpegPerCapture) {
    const auto first = screen.capture(42);
    const auto second = screen.capture(42);
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(first->parent_path(), ScreenContext::folder());
    EXPECT_EQ(first->extension(), ".jpg");
    EXPECT_EQ(FakeWindowScreenshot::storedSize(*first), std::make_pair(1600, 1000));
    struct stat info {};
    ASSERT_EQ(::stat(first->c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(ScreenContext::folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    ScreenContext::discardAll();
    EXPECT_FALSE(std::filesystem::exists(ScreenContext::folder()));
    ScreenContext::discardAll();  // nothing left: still fine
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ScreenContextTest, NothingWithoutPermissionAndNoLine) {
    screenshots->allowed = false;
    EXPECT_EQ(screen.capture(42), std::nullopt);
    EXPECT_TRUE(screenshots->captures().empty());
    EXPECT_EQ(screenshots->accessRequests(), 0);
    EXPECT_TRUE(log.lines().empty());
}

// The window can be photographed, but the user has not said yes: nothing is
// taken, nothing asked, nothing logged.
TEST_F(ScreenContextTest, NothingWithoutTheUsersYes) {
    struct Case {
        const char* name;
        nlohmann::json stored;
    };
    const Case cases[] = {
        {"a profile that never answered", nlohmann::json::object()},
        {"the switch on from before anyone asked", {{"screenContext", true}}},
        {"the yes withdrawn", {{"screenContextAllowed", false}, {"screenContext", false}}},
        {"a yes with the switch off by hand", {{"screenContextAllowed", true}, {"screenContext", false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults->remove(Parlox::ScreenContextConsent::key);
        for (const auto& [key, value] : c.stored.items()) defaults->set(key, value);
        EXPECT_EQ(screen.capture(42), std::nullopt);
        EXPECT_TRUE(screenshots->captures().empty());
        EXPECT_EQ(screenshots->accessRequests(), 0);
        EXPECT_TRUE(log.lines().empty());
        defaults->remove("screenContext");
    }
    defaults->set(Parlox::ScreenContextConsent::key, true);
    EXPECT_TRUE(screen.capture(42).has_value());
}

TEST_F(ScreenContextTest, TheOverrideDecidesBeforeTheDesktop) {
    screenshots->allowed = false;
    defaults->set("fakePermissions", {{"screenRecording", "granted"}});
    Parlox::FakePermissions::reload();
    EXPECT_TRUE(screen.capture(42).has_value());
}

TEST_F(ScreenContextTest, FailuresEndWithoutAPicture) {
    struct Case {
        const char* name;
        std::function<void(ScreenContextTest&)> arrange;
        std::optional<std::string> logLine;
    };
    const std::vector<Case> cases{
        {"only a panel", [](ScreenContextTest& t) { t.workspace->setWindows({{900, 42, 8, {}}}); },
         "Captura: la app no tiene ventana visible"},
        {"not listed for capture", [](ScreenContextTest& t) { t.screenshots->setWindows({}); }, std::nullopt},
        {"listing fails", [](ScreenContextTest& t) { t.screenshots->failList = true; },
         "Captura fallida: desktop service unavailable: the windows cannot be listed"},
        {"capture fails", [](ScreenContextTest& t) { t.screenshots->failCapture = true; },
         "Captura fallida: desktop operation failed: the window cannot be captured"},
        {"write fails", [](ScreenContextTest& t) { t.screenshots->failWrite = true; }, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        arrangeDesktop();
        dictation_test::LogCapture lines;
        c.arrange(*this);
        EXPECT_EQ(screen.capture(42), std::nullopt);
        if (c.logLine) {
            EXPECT_EQ(lines.lines(), (std::vector<std::string>{*c.logLine}));
        }
    }
}

}  // namespace
