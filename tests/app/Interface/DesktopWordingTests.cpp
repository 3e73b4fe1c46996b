#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QRegularExpression>

#include "app/Debug/OverlaySnapshots.hpp"
#include "app/Debug/WindowRenderer.hpp"
#include "app/Interface/GeneralSettings.hpp"
#include "app/Interface/Recorder.hpp"
#include "app/Interface/SettingsWindow.hpp"
#include "app/Interface/WelcomeWindow.hpp"
#include "app/Interface/WritingSettings.hpp"
#include "app/Overlay/MenuBarLabel.hpp"
#include "app/Overlay/MenuBarPanel.hpp"
#include "app/Overlay/OverlayView.hpp"
#include "tests/app/Interface/WindowTestSupport.hpp"
#include "tests/app/ui/MenuBarTestSupport.hpp"

namespace Parlox {
namespace {

using Phase = DictationController::Phase;
using Model = Transcriber::State;

// Every text a window builds, shown now or not: labels, buttons, fields,
// choices, actions, tool tips and what assistive technology announces.
QStringList everyText(const QWidget& root) {
    QStringList texts{root.windowTitle(), root.toolTip(), root.accessibleName(), root.accessibleDescription()};
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        texts << widget->windowTitle() << widget->toolTip() << widget->accessibleName()
              << widget->accessibleDescription();
        if (auto* label = qobject_cast<const QLabel*>(widget)) texts << label->text();
        if (auto* button = qobject_cast<const QAbstractButton*>(widget)) texts << button->text();
        if (auto* field = qobject_cast<const QLineEdit*>(widget)) texts << field->text() << field->placeholderText();
        if (auto* choice = qobject_cast<const QComboBox*>(widget))
            for (int i = 0; i < choice->count(); ++i) texts << choice->itemText(i);
    }
    for (const QAction* action : root.findChildren<QAction*>()) texts << action->text() << action->toolTip();
    texts.removeAll(QString());
    return texts;
}

// The other desktop's modifier glyphs and the places this one lacks.
const QRegularExpression& otherDesktop() {
    static const QRegularExpression pattern(
        QStringLiteral("[⌘⌥⌃⇧]|\\bFinder\\b|\\bSpotlight\\b|\\bMac\\b|\\bmacOS\\b|\\bDock\\b|barra de menús|"
                       "desde Aplicaciones|Ajustes del Sistema|Preferencias del Sistema|app de ChatGPT|ChatGPT usa"));
    return pattern;
}

void expectThisDesktopsWords(const QStringList& texts, const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_FALSE(texts.isEmpty());
    for (const QString& text : texts)
        EXPECT_FALSE(otherDesktop().match(text).hasMatch()) << text.toStdString();
}

QStringList recorderTexts(const QWidget& root) {
    QStringList texts;
    for (GlobalKeyBindings::Recorder* recorder : root.findChildren<GlobalKeyBindings::Recorder*>())
        texts << recorder->field().text();
    return texts;
}

class DesktopWordingTest : public interface_test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        services.keepAwake = &keepAwake;
    }
    interface_test::StoredFakeKeepAwake keepAwake;
};

TEST_F(DesktopWordingTest, TheWelcomeWindowSpeaksOfThisDesktop) {
    const Model models[] = {Model::idle(), Model::loading(), Model::downloading(0.42), Model::ready(),
                            Model::failed("sin red")};
    for (const Model& model : models) {
        setModel(model);
        for (int page = 0; page < 4; ++page) {
            WelcomeWindow window(services, {}, WelcomeWindow::Snapshot{page, Theme::light(), {}, {}});
            expectThisDesktopsWords(everyText(window), "page " + std::to_string(page));
        }
    }
    for (const WindowRenderer::Situation& situation : WindowRenderer::situations()) {
        WelcomeWindow window(services, {},
                             WelcomeWindow::Snapshot{2, Theme::light(), situation.checks, situation.connected});
        expectThisDesktopsWords(everyText(window), "plan " + situation.name);
    }

    // The default shortcut reads as this desktop writes it.
    setModel(Model::ready());
    WelcomeWindow first(services, {}, WelcomeWindow::Snapshot{0, Theme::light(), {}, {}});
    EXPECT_TRUE(everyText(first).contains("Alt+Espacio, hablas, Alt+Espacio"));
    WelcomeWindow last(services, {}, WelcomeWindow::Snapshot{3, Theme::light(), {}, {}});
    EXPECT_EQ(recorderTexts(last), QStringList{"Alt+Espacio"});
    EXPECT_TRUE(everyText(last).contains("Listo · Alt+Espacio para dictar"));
}

TEST_F(DesktopWordingTest, TheSettingsSpeakOfThisDesktopInEveryVariant) {
    struct Variant {
        const char* name;
        bool showsIcon;
        bool keepAwakeUnlocked;
        const char* provider;
    };
    const Variant variants[] = {{"as first opened", true, false, "chatgpt"},
                                {"icon hidden, keep-awake shown, Claude", false, true, "claude"}};
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.name);
        settings->set("showsMenuBarIcon", variant.showsIcon);
        settings->set("keepAwakeUnlocked", variant.keepAwakeUnlocked);
        settings->set("provider", std::string(variant.provider));
        for (SettingsTab tab : SettingsTab::allCases()) {
            SettingsTabs tabs;
            tabs.setTab(tab);
            SettingsToolbar toolbar;
            std::unique_ptr<QMainWindow> window(SettingsWindow::makeWindow(services, tabs, toolbar, Theme::light()));
            expectThisDesktopsWords(everyText(*window), tab.rawValue());
        }
    }
    GeneralSettings general(services, Theme::light());
    EXPECT_EQ(recorderTexts(general), QStringList{"Alt+Espacio"});
    EXPECT_TRUE(everyText(general).contains(
        "Sin icono, Parlox sigue funcionando con el atajo. Para volver aquí, abre Parlox desde el menú de "
        "aplicaciones. Para salir, Ctrl+Q con esta ventana delante."));
}

TEST_F(DesktopWordingTest, BothRecordersShowTheUsersShortcut) {
    struct Row {
        GlobalKeyBindings::Shortcut shortcut;
        const char* shown;
    };
    using GlobalKeyBindings::Key;
    using GlobalKeyBindings::ModifierFlags;
    const Row rows[] = {
        {{Key::k, ModifierFlags::control | ModifierFlags::option}, "Ctrl+Alt+K"},
        {{Key::k, ModifierFlags::command}, "Super+K"},
        {{Key::space, ModifierFlags::control | ModifierFlags::shift}, "Ctrl+Mayús+Espacio"},
        {{Key::f5, ModifierFlags()}, "F5"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shown);
        GlobalKeyBindings::setShortcut(row.shortcut, HotkeyManager::toggleRecording());
        WelcomeWindow welcome(services, {}, WelcomeWindow::Snapshot{3, Theme::light(), {}, {}});
        EXPECT_EQ(recorderTexts(welcome), QStringList{row.shown});
        GeneralSettings general(services, Theme::light());
        EXPECT_EQ(recorderTexts(general), QStringList{row.shown});
    }
}

TEST_F(DesktopWordingTest, TheMenuPanelAndItsIconSpeakOfThisDesktop) {
    ui_test::FakeDictation dictation;
    ui_test::FakeKeepAwake panelKeepAwake;
    panelKeepAwake.unlocked = true;
    const Phase phases[] = {Phase::idle(), Phase::recording(), Phase::paused(), Phase::writing(),
                            Phase::failed("Sin respuesta")};
    const Model models[] = {Model::idle(), Model::downloading(0.5), Model::ready(), Model::failed("sin red")};
    for (const Phase& phase : phases) {
        for (const Model& model : models) {
            dictation.phaseValue = phase;
            dictation.modelValue = model;
            MenuBarPanel::Sources sources{&dictation, &panelKeepAwake, nullptr, audio, accessibility, {}};
            MenuBarPanel panel(sources, {}, Theme::light(), false);
            expectThisDesktopsWords(everyText(panel), "panel");
            for (bool unlocked : {false, true})
                for (bool on : {false, true}) {
                    const auto look = MenuBarLabel::look(phase, model, unlocked, on);
                    expectThisDesktopsWords({MenuBarLabel::description(look)}, "tray icon");
                }
        }
    }
}

TEST_F(DesktopWordingTest, TheOverlaySpeaksOfThisDesktop) {
    for (const OverlaySnapshots::Sample& sample : OverlaySnapshots::samples()) {
        OverlayModel model;
        model.setState(sample.state);
        OverlayView view(model, true);
        const OverlayPresentation& shown = view.presentation();
        QStringList texts = everyText(view);
        texts << QString::fromStdString(shown.accessibilityLabel) << view.layoutRow(shown).shownText;
        for (const auto& button : shown.buttons) texts << QString::fromStdString(button.help);
        expectThisDesktopsWords(texts, sample.name);
    }
    OverlayModel model;
    model.setState(OverlayModel::State::recording());
    OverlayView view(model, true);
    EXPECT_TRUE(everyText(view).contains("Terminar y redactar (Intro o Alt+Espacio) \u00B7 Esc cancela"));
}

}  // namespace
}  // namespace Parlox
