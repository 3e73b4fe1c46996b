#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QMainWindow>
#include <QToolBar>
#include <QWidgetAction>

#include "app/Interface/GeneralSettings.hpp"
#include "app/Interface/SettingsWindow.hpp"
#include "app/Interface/WriterCheckViews.hpp"
#include "app/Interface/WritingSettings.hpp"
#include "tests/app/Interface/WindowTestSupport.hpp"

namespace Parlox {
namespace {

using interface_test::StoredFakeKeepAwake;
using interface_test::textsIn;

TEST(SettingsTab, RawValuesTitlesAndHeights) {
    interface_test::Settings settings;
    struct Row {
        const char* raw;
        std::optional<SettingsTab::Value> tab;
    };
    const Row rows[] = {{"general", SettingsTab::general}, {"writing", SettingsTab::writing},
                        {"voice", SettingsTab::voice},     {"permissions", SettingsTab::permissions},
                        {"Voice", std::nullopt},           {"", std::nullopt},
                        {"ajustes", std::nullopt}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.raw);
        const auto tab = SettingsTab::fromRawValue(row.raw);
        EXPECT_EQ(tab.has_value(), row.tab.has_value());
        if (tab && row.tab) {
            EXPECT_EQ(SettingsTab::Value(*tab), *row.tab);
            EXPECT_EQ(tab->rawValue(), row.raw);
        }
    }
    std::vector<std::string> titles;
    std::vector<int> heights;
    for (SettingsTab tab : SettingsTab::allCases()) {
        titles.push_back(tab.title());
        heights.push_back(tab.contentHeight());
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"General", "Redacción", "Voz", "Requisitos"}));
    EXPECT_EQ(heights, (std::vector<int>{600, 720, 360, 370}));
    settings->set("keepAwakeUnlocked", true);
    EXPECT_EQ(SettingsTab(SettingsTab::general).contentHeight(), 770);
}

class SettingsWindowTest : public interface_test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        services.keepAwake = &keepAwake;
    }

    std::unique_ptr<QMainWindow> open(SettingsTabs& tabs) {
        std::unique_ptr<QMainWindow> window(SettingsWindow::makeWindow(services, tabs, toolbar, Theme::light()));
        window->show();
        QTest::qWait(10);
        return window;
    }
    SettingsWindow& content(QMainWindow& window) { return *static_cast<SettingsWindow*>(window.centralWidget()); }
    QAction* item(const char* raw) { return toolbar.toolbar()->findChild<QAction*>(raw); }

    StoredFakeKeepAwake keepAwake;
    SettingsToolbar toolbar;
};

// The toolbar walks the window through the four heights with its top edge
// in place; five quick clicks on the version reveal the keep-awake section
// and General then opens 770 high; switching the writing tool resets the
// check; only what the test changed is written.
TEST_F(SettingsWindowTest, TheToolbarWalksTheTabsAndTheWindowFollows) {
    SettingsTabs tabs;
    auto window = open(tabs);
    QToolBar* bar = toolbar.toolbar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(window->windowTitle(), "Ajustes de Parlox");
    EXPECT_EQ(bar->objectName(), "settings");
    EXPECT_EQ(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_FALSE(bar->isMovable());
    QStringList labels;
    for (QAction* action : bar->actions())
        if (!qobject_cast<QWidgetAction*>(action)) labels << action->text();
    EXPECT_EQ(labels, (QStringList{"General", "Redacción", "Voz", "Requisitos"}));
    EXPECT_TRUE(item("general")->isChecked());

    std::vector<SettingsTab::Value> shown;
    QObject::connect(&tabs, &SettingsTabs::tabChanged, [&](SettingsTab::Value tab) { shown.push_back(tab); });
    const int top = window->geometry().top();
    const int toolbarHeight = window->height() - content(*window).height();
    EXPECT_EQ(content(*window).height(), 600);

    struct Step {
        const char* raw;
        int height;
    };
    for (const Step& step : {Step{"writing", 720}, Step{"voice", 360}, Step{"permissions", 370}, Step{"general", 600}}) {
        SCOPED_TRACE(step.raw);
        item(step.raw)->trigger();
        QTest::qWait(10);
        EXPECT_EQ(content(*window).height(), step.height);
        EXPECT_EQ(content(*window).page()->objectName(), step.raw);
        EXPECT_EQ(window->height(), toolbarHeight + step.height);
        EXPECT_EQ(window->geometry().top(), top);
        EXPECT_TRUE(item(step.raw)->isChecked());
    }
    EXPECT_EQ(shown.size(), 4u);

    // The tab already shown: no new page, no resize.
    item("general")->trigger();
    QTest::qWait(10);
    EXPECT_EQ(shown.size(), 4u);

    auto& general = *qobject_cast<GeneralSettings*>(content(*window).page());
    EXPECT_FALSE(general.showsKeepAwake());
    for (int i = 0; i < 5; ++i) {
        QTest::mouseClick(general.versionLabel(), Qt::LeftButton);
        scheduler->advance(0.3);
    }
    EXPECT_TRUE(general.showsKeepAwake());
    EXPECT_TRUE(textsIn(general).contains("Despierto"));
    EXPECT_EQ(sounds->played(), (std::vector<std::string>{"Pop"}));
    // Unlocking alone does not resize; the next showing of General does.
    EXPECT_EQ(content(*window).height(), 600);
    item("voice")->trigger();
    QTest::qWait(10);
    item("general")->trigger();
    QTest::qWait(10);
    EXPECT_EQ(content(*window).height(), 770);
    EXPECT_EQ(window->geometry().top(), top);

    item("writing")->trigger();
    QTest::qWait(10);
    auto& writing = *qobject_cast<WritingSettings*>(content(*window).page());
    checker->setups.clear();
    writing.runCheck();
    checker->answerRun(WriterProvider::chatGPT, WriterCheck::ok(1.2));
    EXPECT_EQ(writing.check(), WriterCheck::ok(1.2));
    writing.providerPicker()->activated(1);
    QTest::qWait(10);
    EXPECT_EQ(writing.check(), WriterCheck::idle());
    EXPECT_TRUE(textsIn(writing).contains("Sin comprobar"));
    checker->answerSetup(WriterProvider::claude, WriterCheck::needsInstall());
    EXPECT_EQ(writing.check(), WriterCheck::needsInstall());

    EXPECT_EQ(settings.all(), (nlohmann::json{{"GlobalKeyBindings_toggleRecording",
                                               R"({"carbonKeyCode":49,"carbonModifiers":2048})"},
                                              {"keepAwakeUnlocked", true},
                                              {"provider", "claude"}}));
}

// The items sit together in the middle of the toolbar, as in a window of
// preferences.
TEST_F(SettingsWindowTest, TheToolbarItemsSitInTheMiddle) {
    SettingsTabs tabs;
    auto window = open(tabs);
    QToolBar* bar = toolbar.toolbar();
    int left = bar->width(), right = 0;
    for (SettingsTab tab : SettingsTab::allCases()) {
        QWidget* button = bar->widgetForAction(item(tab.rawValue().c_str()));
        ASSERT_NE(button, nullptr);
        left = std::min(left, button->geometry().left());
        right = std::max(right, button->geometry().right() + 1);
    }
    EXPECT_LT(right - left, bar->width() / 2);
    EXPECT_NEAR(left, bar->width() - right, 2);
}

TEST_F(SettingsWindowTest, ANewWindowOpensOnTheSelectedTab) {
    SettingsTabs tabs;
    tabs.setTab(SettingsTab::voice);
    auto window = open(tabs);
    EXPECT_EQ(content(*window).height(), 360);
    EXPECT_EQ(content(*window).shownTab(), SettingsTab::voice);
    EXPECT_TRUE(item("voice")->isChecked());
}

TEST_F(SettingsWindowTest, ThePageShownIsAnnouncedOnTheNextTurnOnlyForANewTab) {
    SettingsTabs tabs;
    std::vector<SettingsTab::Value> announced;
    SettingsWindow view(services, &tabs, [&](SettingsTab tab) { announced.push_back(tab); }, Theme::light());
    EXPECT_EQ(view.size(), QSize(660, 600));
    tabs.setTab(SettingsTab::permissions);
    EXPECT_TRUE(announced.empty());
    QTest::qWait(5);
    EXPECT_EQ(announced, (std::vector<SettingsTab::Value>{SettingsTab::permissions}));
    EXPECT_EQ(view.size(), QSize(660, 370));
    tabs.setTab(SettingsTab::permissions);
    QTest::qWait(5);
    EXPECT_EQ(announced.size(), 1u);
}

}  // namespace
}  // namespace Parlox
