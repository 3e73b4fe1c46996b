#include <gtest/gtest.h>

#include <QImage>

#include "app/Debug/WindowRenderer.hpp"
#include "app/Overlay/Theme.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/process/Subprocess.hpp"
#include "tests/app/AppTestSupport.hpp"
#include "tests/app/Interface/WindowTestSupport.hpp"

namespace Parlox {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> expectedNames() {
    std::vector<std::string> names;
    for (const char* scheme : {"claro", "oscuro"}) {
        const std::string suffix = std::string("-") + scheme + ".png";
        for (int page = 0; page < 4; ++page) names.push_back("bienvenida-" + std::to_string(page) + suffix);
        for (const char* situation :
             {"idle", "chatgpt-ok", "ambos-ok", "claude-login", "claude-instalar", "claude-plan"})
            names.push_back(std::string("plan-") + situation + suffix);
        names.push_back("menu" + suffix);
        for (const char* tab : {"general", "writing", "voice", "permissions"})
            names.push_back(std::string("ajustes-") + tab + suffix);
    }
    return names;
}

// The darkest pixel of a column between two rows.
QColor darkestIn(const QImage& image, int x, int top, int bottom) {
    QColor darkest = Qt::white;
    for (int y = top; y < bottom; ++y)
        if (image.pixelColor(x, y).lightness() < darkest.lightness()) darkest = image.pixelColor(x, y);
    return darkest;
}

int countNear(const QImage& image, const QRect& area, const QColor& colour, int tolerance) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (ui_test::near(image.pixelColor(x, y), colour, tolerance)) ++n;
    return n;
}

class WindowRendererTest : public interface_test::WindowFixture {
protected:
    parlox::testing::TemporaryFolder folder;
    std::vector<std::string> printed;

    void render() {
        WindowRenderer::render(folder.path(), [this](const std::string& name) { printed.push_back(name); }, services);
    }
    QImage image(const std::string& name) { return QImage(QString::fromStdString((folder.path() / name).string())); }
};

TEST_F(WindowRendererTest, ThirtyImagesWithTheirNamesSizesAndColours) {
    settings->set("keepAwakeUnlocked", true);
    settings->set("fakePermissions", {{"microphone", "granted"}, {"accessibility", "granted"}});
    FakePermissions::reload();
    render();
    EXPECT_EQ(printed, expectedNames());
    for (const auto& name : printed) {
        SCOPED_TRACE(name);
        const QImage shot = image(name);
        ASSERT_FALSE(shot.isNull());
        const bool welcome = name.rfind("bienvenida", 0) == 0 || name.rfind("plan", 0) == 0;
        const int width = welcome ? 440 : name.rfind("menu", 0) == 0 ? 320 : 660;
        EXPECT_EQ(shot.width(), width);
        if (welcome) {
            EXPECT_EQ(shot.height(), 500);
        }
    }
    EXPECT_EQ(image("ajustes-general-claro.png").height(), 770);
    EXPECT_EQ(image("ajustes-writing-oscuro.png").height(), 720);
    EXPECT_EQ(image("ajustes-voice-claro.png").height(), 360);
    EXPECT_EQ(image("ajustes-permissions-oscuro.png").height(), 370);

    // Page 0: the first of the four dots is the filled one, the button prominent.
    const Theme light = Theme::light();
    const QColor window = light.palette().color(QPalette::Window);
    const QImage first = image("bienvenida-0-claro.png");
    EXPECT_COLOR_NEAR(darkestIn(first, 27, 440, 500), ui_test::over(window, light.primary()), 25);
    EXPECT_COLOR_NEAR(darkestIn(first, 39, 440, 500), ui_test::over(window, light.quaternary()), 25);
    EXPECT_GT(countNear(first, QRect(300, 440, 130, 50), QColor(0x0A, 0x84, 0xFF), 12), 300);
    // Page 1 with both permissions granted: green checks in the badges' column.
    EXPECT_GT(countNear(image("bienvenida-1-claro.png"), QRect(300, 120, 130, 100), light.green(), 30), 40);
    // The dark pages draw on the dark window colour.
    const QColor dark = Theme::darkScheme().palette().color(QPalette::Window);
    EXPECT_COLOR_NEAR(image("ajustes-general-oscuro.png").pixelColor(5, 5), dark, 2);
    EXPECT_COLOR_NEAR(image("plan-idle-oscuro.png").pixelColor(430, 10), dark, 2);
    // "Conectado" with its green check; the plan warning in orange.
    EXPECT_GT(countNear(image("plan-ambos-ok-claro.png"), QRect(300, 140, 140, 60), light.green(), 30), 40);
    EXPECT_GT(countNear(image("plan-claude-plan-claro.png"), QRect(50, 160, 260, 60), light.orange(), 60), 40);
}

TEST_F(WindowRendererTest, AFolderThatCannotBeMadeStopsBeforeAnyImage) {
    const fs::path file = folder.writeFile("plain", "x");
    EXPECT_THROW(WindowRenderer::render(file / "images", [this](const std::string& n) { printed.push_back(n); },
                                        services),
                 platform::Error);
    EXPECT_TRUE(printed.empty());
}

TEST(RenderWindowsCommand, WritesAndNamesThirtyImagesOffScreen) {
    app_test::Sandbox box;
    app_test::writeDefaults(box, {{"keepAwakeUnlocked", true}});
    const fs::path out = box.root() / "stills";
    platform::process::Options options;
    options.executable = app_test::parloxBinary();
    options.arguments = {"--render-windows", out.string()};
    options.environment = platform::process::environmentWith({{"QT_QPA_PLATFORM", "offscreen"}});
    options.output = platform::process::OutputMode::capture;
    options.timeout = 150;
    const auto result = platform::process::run(options);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(writing_test::lines(result.output), expectedNames());
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out)) ++files;
    EXPECT_EQ(files, 30u);
    EXPECT_EQ(QImage(QString::fromStdString((out / "ajustes-general-claro.png").string())).height(), 770);

    options.arguments = {"--render-windows", (out / "ajustes-general-claro.png" / "below").string()};
    const auto refused = platform::process::run(options);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(writing_test::lines(refused.output).size(), 1u) << refused.output;
}

}  // namespace
}  // namespace Parlox
