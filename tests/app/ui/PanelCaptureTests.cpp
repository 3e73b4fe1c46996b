#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include "app/Debug/PanelCapture.hpp"
#include "app/Overlay/MenuBarExtra.hpp"
#include "platform/concurrency/fake/ManualScheduler.hpp"
#include "platform/log/SystemLog.hpp"
#include "tests/app/ui/QtTestSupport.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace Parlox {
namespace {

// A status item whose click opens and closes a popup of a given width.
class TestItem : public StatusItem {
public:
    TestItem(bool button, int width) : button_(button) {
        panel_.setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
        panel_.setGeometry(100, 120, width, 200);
    }
    bool hasButton() const override { return button_; }
    void performClick() override {
        ++clicks;
        panel_.setVisible(!panel_.isVisible());
    }
    bool isOpen() const { return panel_.isVisible(); }
    int clicks = 0;

private:
    bool button_;
    QWidget panel_;
};

class PanelCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui_test::application();
        platform::SystemLog::setSink([this](platform::LogLevel level, const std::string&, const std::string&,
                                            const std::string& message) {
            if (message.rfind("Captura del panel", 0) == 0)
                log.push_back((level == platform::LogLevel::error ? "E " : "I ") + message);
        });
    }
    void TearDown() override { platform::SystemLog::setSink({}); }

    void runCapture(TestItem& item) {
        PanelCapture::run(folder / "panel.png", item, {[this] { return awake; }, [this](bool on) {
                                                           awake = on;
                                                           awakeWrites.push_back(on);
                                                       }},
                          scheduler);
        scheduler->advance(10);
    }

    parlox::testing::TemporaryFolder folder;
    std::shared_ptr<platform::ManualScheduler> scheduler = std::make_shared<platform::ManualScheduler>();
    bool awake = false;
    std::vector<bool> awakeWrites;
    std::vector<std::string> log;
};

TEST(PanelCaptureFiles, StateNameReplacesTheExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"/tmp/panel.png", "/tmp/panel.1-cargando.png"},
        {"/tmp/panel", "/tmp/panel.1-cargando.png"},
        {"/tmp/a.b/panel.jpeg", "/tmp/a.b/panel.1-cargando.png"},
    };
    for (const auto& [output, file] : cases) EXPECT_EQ(PanelCapture::fileFor(output, "1-cargando"), file);
}

TEST_F(PanelCaptureTest, ThreeStatesAroundThePanelAndKeepAwakeRestored) {
    TestItem item(true, 340);
    runCapture(item);
    EXPECT_EQ(item.clicks, 4);
    EXPECT_FALSE(item.isOpen());
    EXPECT_EQ(awakeWrites, (std::vector<bool>{true, false}));
    for (const char* state : {"1-cargando", "2-reabierto", "3-despierto"}) {
        const QImage image(QString::fromStdString((folder / (std::string("panel.") + state + ".png")).string()));
        ASSERT_FALSE(image.isNull()) << state;
        // The panel grown by 30 on every side, at the screen's scale (1 here).
        EXPECT_EQ(image.size(), QSize(400, 260)) << state;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "panel.png"));
    const std::string window = "I Captura del panel: QWidget (100, 120, 340, 200) nivel 101";
    EXPECT_EQ(std::count(log.begin(), log.end(), window), 3);
    EXPECT_EQ(log.back(), "I Captura del panel: " + (folder / "panel.3-despierto.png").string());
}

TEST_F(PanelCaptureTest, ANarrowPanelIsNotThePanelAndNoIconStopsAtOnce) {
    TestItem narrow(true, 299);
    runCapture(narrow);
    EXPECT_EQ(std::count(log.begin(), log.end(), "E Captura del panel: no se abri\u00F3"), 3);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));

    log.clear();
    TestItem none(false, 340);
    runCapture(none);
    EXPECT_EQ(log, std::vector<std::string>{"E Captura del panel: no hay icono"});
    EXPECT_EQ(none.clicks, 0);
}

TEST(MenuBarExtraPlacement, NextToTheIconInsideTheScreen) {
    const QRect screen(0, 0, 1280, 800);
    const QSize panel(320, 300);
    struct Case {
        QRect icon;
        QPoint pointer;
        QPoint expected;
    };
    const Case cases[] = {
        {QRect(1200, 0, 24, 24), {}, {1280 - 320, 29}},          // top bar, right end
        {QRect(600, 776, 24, 24), {}, {612 - 160, 776 - 4 - 300}},  // bottom panel
        {QRect(), QPoint(10, 790), {0, 790 - 4 - 300}},         // no geometry: at the pointer
    };
    for (const Case& c : cases)
        EXPECT_EQ(MenuBarExtra::placement(c.icon, c.pointer, panel, screen), c.expected) << c.expected.x();
}

}  // namespace
}  // namespace Parlox
