#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSet>

#include "app/App/AppDelegate.hpp"
#include "app/App/CommandLineTool.hpp"
#include "app/Debug/OverlaySnapshots.hpp"
#include "app/Debug/WindowRenderer.hpp"
#include "app/Insertion/TextInserter.hpp"
#include "app/Insertion/TextReplacement.hpp"
#include "app/Interface/GeneralSettings.hpp"
#include "app/Interface/Recorder.hpp"
#include "app/Interface/SettingsWindow.hpp"
#include "app/Interface/WelcomeWindow.hpp"
#include "app/Interface/WriterCheckViews.hpp"
#include "app/Interface/WritingSettings.hpp"
#include "app/Overlay/MenuBarLabel.hpp"
#include "app/Overlay/MenuBarPanel.hpp"
#include "app/Overlay/OverlayView.hpp"
#include "tests/app/Interface/WindowTestSupport.hpp"
#include "tests/app/ui/MenuBarTestSupport.hpp"
#include "writing/ClaudeCodeProvider.hpp"
#include "writing/CodexProvider.hpp"

namespace Parlox {
namespace {

using Phase = DictationController::Phase;
using Model = Transcriber::State;
using platform::accessibility::TrustGap;
using platform::audio::RecordPermission;

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

// The other desktop's modifier glyphs, places, programs and privacy
// permissions, none of which this one has.
const QRegularExpression& otherDesktop() {
    static const QRegularExpression pattern(
        QStringLiteral("[⌘⌥⌃⇧]|\\bFinder\\b|\\bSpotlight\\b|\\bMac\\b|\\bmacOS\\b|\\bDock\\b|barra de menús|"
                       "desde Aplicaciones|Ajustes del Sistema|Preferencias del Sistema|app de ChatGPT|ChatGPT usa|"
                       "\\b[Pp]ermisos?\\b|Concedido|Denegado|Permitir|Grabación de pantalla|\\b[Ll]a [Tt]erminal\\b|"
                       "app de Claude|Uso: Parlox"));
    return pattern;
}

// Words that said what is not so: a yes nobody asked for, a field that is
// not there, the toolkit's English button, and Parlox in the masculine (the
// texts treat it as "la aplicación": "sola", "abierta").
const QRegularExpression& untrue() {
    static const QRegularExpression pattern(QStringLiteral("si le dejas|indica la ruta|^OK$|\\bse actualiza solo\\b"));
    return pattern;
}

// A promise that Escape gives the original back.
const QRegularExpression& escapeGivesBack() {
    static const QRegularExpression pattern(QStringLiteral("\\bEsc\\b[^.]*\\b(devuelve|vuelve)\\b[^.]*\\boriginal\\b"));
    return pattern;
}

// Where the texts of one page send the user to choose a shortcut.
QSet<QString> placesToChooseAShortcut(const QStringList& texts) {
    static const QRegularExpression pointer(QStringLiteral("elige uno (aquí|en Ajustes)"));
    QSet<QString> places;
    for (const QString& text : texts)
        for (auto match = pointer.globalMatch(text); match.hasNext();) places.insert(match.next().captured(1));
    return places;
}

// The dictation shortcut the user has: the default, another, or none.
struct ShortcutCase {
    const char* name;
    std::optional<GlobalKeyBindings::Shortcut> shortcut;
    bool isDefault() const { return std::string(name) == "default"; }
};

const ShortcutCase shortcutCases[] = {
    {"default", GlobalKeyBindings::Shortcut(GlobalKeyBindings::Key::space, GlobalKeyBindings::ModifierFlags::option)},
    {"another", GlobalKeyBindings::Shortcut(GlobalKeyBindings::Key::k, GlobalKeyBindings::ModifierFlags::control |
                                                                            GlobalKeyBindings::ModifierFlags::option)},
    {"none", std::nullopt},
};

void expectThisDesktopsWords(const QStringList& texts, const std::string& where,
                             const ShortcutCase& shortcut = shortcutCases[0]) {
    SCOPED_TRACE(where + ", shortcut " + shortcut.name);
    EXPECT_FALSE(texts.isEmpty());
    for (const QString& text : texts) {
        EXPECT_FALSE(otherDesktop().match(text).hasMatch()) << text.toStdString();
        EXPECT_FALSE(untrue().match(text).hasMatch()) << text.toStdString();
        // Escape gives nothing back in a terminal: a promise says so.
        if (escapeGivesBack().match(text).hasMatch()) {
            EXPECT_TRUE(text.contains("terminal")) << text.toStdString();
        }
        // A key that does nothing is never named.
        if (!shortcut.isDefault()) {
            EXPECT_FALSE(text.contains("Alt+Espacio")) << text.toStdString();
        }
        // Nor is a shortcut that is not there counted on.
        if (!shortcut.shortcut) {
            EXPECT_FALSE(text.contains("funcionando con el atajo")) << text.toStdString();
        }
    }
    // One page sends the user to one place to choose a shortcut.
    EXPECT_LE(placesToChooseAShortcut(texts).size(), 1) << texts.join(" | ").toStdString();
}

QStringList recorderTexts(const QWidget& root) {
    QStringList texts;
    for (GlobalKeyBindings::Recorder* recorder : root.findChildren<GlobalKeyBindings::Recorder*>())
        texts << recorder->field().text();
    return texts;
}

using interface_test::DesktopState;

const DesktopState desktopStates[] = {
    {"everything there"},
    {"no microphone", RecordPermission::denied},
    {"no microphone, no sound settings", RecordPermission::denied, true, TrustGap::none, false, true, {}},
    {"assistive technologies off", RecordPermission::granted, false},
    {"still off after asking", RecordPermission::granted, false, TrustGap::assistiveTechnologiesOff, true},
    {"still off, no accessibility settings", RecordPermission::granted, false, TrustGap::assistiveTechnologiesOff,
     true, true, {}},
    {"no accessibility bus", RecordPermission::granted, false, TrustGap::noAccessibilityBus, true},
    {"no synthetic keys", RecordPermission::granted, false, TrustGap::noSyntheticKeys},
    {"no X11 session", RecordPermission::denied, false, TrustGap::noX11Session, false, false},
    {"no answer about the accessibility", RecordPermission::granted, false, TrustGap::noAnswer},
    {"no tray", RecordPermission::granted, true, TrustGap::none, false, true,
     {"Privacy_Microphone", "Privacy_Accessibility"}, false},
    {"no sound server", RecordPermission::denied, true, TrustGap::none, false, true,
     {"Privacy_Microphone", "Privacy_Accessibility"}, true, false, false},
    {"window picture allowed", RecordPermission::granted, true, TrustGap::none, false, true,
     {"Privacy_Microphone", "Privacy_Accessibility"}, true, true},
    {"window picture allowed, no X11 session", RecordPermission::denied, false, TrustGap::noX11Session, false,
     false, {"Privacy_Microphone", "Privacy_Accessibility"}, true, true},
};

// A microphone row that tells no sound server from no microphone.
void expectTheMicrophoneLineFits(const QStringList& texts, const DesktopState& state) {
    SCOPED_TRACE(state.name);
    const bool noMicrophone = texts.contains("El servidor de sonido no tiene micrófono: conecta uno o actívalo.");
    const bool noServer = texts.contains("No contesta ningún servidor de sonido: arranca PulseAudio o PipeWire.");
    const bool missing = state.microphone != RecordPermission::granted;
    EXPECT_EQ(noMicrophone, missing && state.soundServer);
    EXPECT_EQ(noServer, missing && !state.soundServer);
}

class DesktopWordingTest : public interface_test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        services.keepAwake = &keepAwake;
    }
    static void use(const ShortcutCase& shortcut) {
        GlobalKeyBindings::setShortcut(shortcut.shortcut, HotkeyManager::toggleRecording());
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
    setModel(Model::ready());
    for (const DesktopState& state : desktopStates) {
        arrange(state);
        for (const ShortcutCase& shortcut : shortcutCases) {
            use(shortcut);
            for (int page = 0; page < 4; ++page) {
                WelcomeWindow window(services, {}, WelcomeWindow::Snapshot{page, Theme::light(), {}, {}});
                expectThisDesktopsWords(everyText(window), state.name + std::string(", page ") + std::to_string(page),
                                        shortcut);
                if (page == 1) expectTheMicrophoneLineFits(everyText(window), state);
            }
        }
    }
    for (const WindowRenderer::Situation& situation : WindowRenderer::situations()) {
        WelcomeWindow window(services, {},
                             WelcomeWindow::Snapshot{2, Theme::light(), situation.checks, situation.connected});
        expectThisDesktopsWords(everyText(window), "plan " + situation.name);
    }

    // The default shortcut reads as this desktop writes it; another is named instead.
    use(shortcutCases[0]);
    WelcomeWindow first(services, {}, WelcomeWindow::Snapshot{0, Theme::light(), {}, {}});
    EXPECT_TRUE(everyText(first).contains("Alt+Espacio, hablas, Alt+Espacio"));
    WelcomeWindow last(services, {}, WelcomeWindow::Snapshot{3, Theme::light(), {}, {}});
    EXPECT_EQ(recorderTexts(last), QStringList{"Alt+Espacio"});
    EXPECT_TRUE(everyText(last).contains("Listo · Alt+Espacio para dictar"));
    use(shortcutCases[1]);
    EXPECT_TRUE(everyText(first).contains("Ctrl+Alt+K, hablas, Ctrl+Alt+K"));
    EXPECT_TRUE(everyText(last).contains("Listo · Ctrl+Alt+K para dictar"));
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
    for (const DesktopState& state : desktopStates) {
        arrange(state);
        for (const ShortcutCase& shortcut : shortcutCases) {
            use(shortcut);
            for (const Variant& variant : variants) {
                settings->set("showsMenuBarIcon", variant.showsIcon);
                settings->set("keepAwakeUnlocked", variant.keepAwakeUnlocked);
                settings->set("provider", std::string(variant.provider));
                for (SettingsTab tab : SettingsTab::allCases()) {
                    SettingsTabs tabs;
                    tabs.setTab(tab);
                    SettingsToolbar toolbar;
                    std::unique_ptr<QMainWindow> window(
                        SettingsWindow::makeWindow(services, tabs, toolbar, Theme::light()));
                    expectThisDesktopsWords(everyText(*window),
                                            state.name + std::string(", ") + variant.name + ", " + tab.rawValue(),
                                            shortcut);
                    if (tab == SettingsTab::permissions) expectTheMicrophoneLineFits(everyText(*window), state);
                }
            }
        }
    }
    for (const WriterCheck& check : {WriterCheck::idle(), WriterCheck::running(), WriterCheck::ok(2.5),
                                     WriterCheck::failed("Sin cuota"), WriterCheck::needsInstall(),
                                     WriterCheck::needsLogin(), WriterCheck::needsPlan()})
        for (WriterProvider provider : WriterProvider::allCases())
            expectThisDesktopsWords({WriterCheckLine::text(check, provider)}, "writing-tool check");

    use(shortcutCases[0]);
    arrange(desktopStates[0]);
    settings->set("showsMenuBarIcon", false);
    GeneralSettings general(services, Theme::light());
    EXPECT_EQ(recorderTexts(general), QStringList{"Alt+Espacio"});
    EXPECT_TRUE(everyText(general).contains(
        "Sin icono, Parlox sigue funcionando con el atajo. Para volver aquí, abre Parlox desde el menú de "
        "aplicaciones. Para salir, Ctrl+Q con esta ventana delante."));
}

// The answer to "Buscar actualizaciones".
TEST_F(DesktopWordingTest, TheUpdateBoxSpeaksOfThisDesktop) {
    std::unique_ptr<QMessageBox> box(AppDelegate::makeUpdateAnswer());
    QStringList texts = everyText(*box);
    texts << box->text() << box->informativeText();
    for (QAbstractButton* button : box->buttons()) texts << button->text();
    expectThisDesktopsWords(texts, "update box");
}

// Where the desktop cannot open its settings, a box says what to do.
TEST_F(DesktopWordingTest, WhatToDoSpeaksOfThisDesktop) {
    for (const char* anchor : {WindowPermissions::microphoneAnchor, WindowPermissions::accessibilityAnchor})
        expectThisDesktopsWords({WindowPermissions::whatToDo(anchor)}, anchor);
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
    for (const DesktopState& state : desktopStates) {
        arrange(state);
        for (const Phase& phase : phases) {
            for (const Model& model : models) {
                dictation.phaseValue = phase;
                dictation.modelValue = model;
                MenuBarPanel::Sources sources{&dictation, &panelKeepAwake, nullptr, audio, accessibility, {}};
                MenuBarPanel panel(sources, {}, Theme::light(), false);
                expectThisDesktopsWords(everyText(panel), state.name + std::string(", panel"));
                for (bool unlocked : {false, true})
                    for (bool on : {false, true}) {
                        const auto look = MenuBarLabel::look(phase, model, unlocked, on);
                        expectThisDesktopsWords({MenuBarLabel::description(look)}, "tray icon");
                    }
            }
        }
    }
}

TEST_F(DesktopWordingTest, TheOverlaySpeaksOfThisDesktop) {
    // The reasons a dictation or an undo gives when it cannot type.
    const std::vector<OverlayModel::State> reasons = {
        OverlayModel::State::done(TextInserter::noPermissionMessage),
        OverlayModel::State::done(TextReplacement::noPermission),
    };
    for (const ShortcutCase& shortcut : shortcutCases) {
        use(shortcut);
        std::vector<std::pair<std::string, OverlayModel::State>> states;
        for (const OverlaySnapshots::Sample& sample : OverlaySnapshots::samples())
            states.emplace_back(sample.name, sample.state);
        for (const OverlayModel::State& reason : reasons) states.emplace_back("reason", reason);
        for (const auto& [name, state] : states) {
            OverlayModel model;
            model.setState(state);
            OverlayView view(model, true);
            const OverlayPresentation& shown = view.presentation();
            QStringList texts = everyText(view);
            texts << QString::fromStdString(shown.accessibilityLabel) << view.layoutRow(shown).shownText;
            for (const auto& button : shown.buttons) texts << QString::fromStdString(button.help);
            expectThisDesktopsWords(texts, name, shortcut);
        }
    }
    OverlayModel model;
    model.setState(OverlayModel::State::recording());
    OverlayView view(model, true);
    use(shortcutCases[0]);
    EXPECT_TRUE(everyText(view).contains("Terminar y redactar (Intro o Alt+Espacio) \u00B7 Esc cancela"));
    // The open pill follows a change of shortcut.
    use(shortcutCases[1]);
    EXPECT_TRUE(everyText(view).contains("Terminar y redactar (Intro o Ctrl+Alt+K) \u00B7 Esc cancela"));
    use(shortcutCases[2]);
    EXPECT_TRUE(everyText(view).contains("Terminar y redactar (Intro) \u00B7 Esc cancela"));
}

TEST_F(DesktopWordingTest, TheCommandLineSpeaksOfThisDesktop) {
    QStringList texts;
    for (const std::string& line : CommandLineTool::usageLines()) texts << QString::fromStdString(line);
    const auto each = [&texts](auto notInstalled, auto timedOut, auto failed, auto notLoggedIn, auto quota,
                               auto empty) {
        for (const auto& error : {notInstalled, timedOut, failed, notLoggedIn, quota, empty})
            texts << QString::fromStdString(error.localizedDescription());
    };
    using Claude = ParloxCore::ClaudeCodeProvider::ClaudeError;
    using Codex = ParloxCore::CodexProvider::CodexError;
    each(Claude::notInstalled("el PATH"), Claude::timedOut(45), Claude::failed("x"), Claude::notLoggedIn(),
         Claude::quotaExceeded(), Claude::emptyResponse());
    each(Codex::notInstalled("el PATH"), Codex::timedOut(45), Codex::failed("x"), Codex::notLoggedIn(),
         Codex::quotaExceeded(), Codex::emptyResponse());
    expectThisDesktopsWords(texts, "command line");
}

}  // namespace
}  // namespace Parlox
