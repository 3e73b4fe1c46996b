#include <gtest/gtest.h>

#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/Interface/ApplicationActivation.hpp"
#include "app/Interface/GeneralSettings.hpp"
#include "app/Interface/HeadElidedPath.hpp"
#include "app/Interface/PermissionBadge.hpp"
#include "app/Interface/PermissionSettings.hpp"
#include "app/Interface/SettingsForm.hpp"
#include "app/Interface/VoiceSettings.hpp"
#include "app/Interface/WindowParts.hpp"
#include "app/Interface/WritingSettings.hpp"
#include "app/Support/ScreenContextConsent.hpp"
#include "app/Support/SettingsStore.hpp"
#include "tests/app/Interface/WindowTestSupport.hpp"
#include "platform/foundation/Paths.hpp"
#include "writing/PromptBuilder.hpp"

namespace Parlox {
namespace {

using interface_test::lastLogLine;
using interface_test::StoredFakeKeepAwake;
using interface_test::buttonTitled;
using interface_test::textsIn;
using Json = nlohmann::json;
using Clock = VersionClicks::Clock;

Clock::time_point at(double seconds) {
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)));
}

TEST(VersionClicks, FiveClicksWithinLessThanTwoSecondsToggleAndStartOver) {
    struct Row {
        const char* what;
        std::vector<double> clicks;
        std::vector<bool> toggles;
    };
    const Row rows[] = {
        {"quick", {0, .4, .8, 1.2, 1.6}, {false, false, false, false, true}},
        {"first aged out", {0, .5, 1.0, 1.5, 2.1, 2.2}, {false, false, false, false, false, true}},
        {"exactly 2.0 is too old", {0, .5, 1.0, 1.5, 2.0}, {false, false, false, false, false}},
        {"the count restarts", {0, .1, .2, .3, .4, .5, .6, .7, .8, .9}, {false, false, false, false, true, false, false,
                                                                      false, false, true}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        VersionClicks clicks;
        std::vector<bool> toggles;
        for (double t : row.clicks) toggles.push_back(clicks.click(at(t)));
        EXPECT_EQ(toggles, row.toggles);
    }
}

class TabsTest : public interface_test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        services.keepAwake = &keepAwake;
    }
    template <class Tab>
    std::unique_ptr<Tab> show() {
        auto tab = std::make_unique<Tab>(services, Theme::light());
        tab->resize(660, 720);
        tab->show();
        QTest::qWait(5);
        return tab;
    }
    StoredFakeKeepAwake keepAwake;
};

TEST_F(TabsTest, GeneralShowsItsDefaultsWithoutWritingThem) {
    auto general = show<GeneralSettings>();
    EXPECT_TRUE(general->soundsToggle()->isChecked());
    EXPECT_TRUE(general->iconToggle()->isChecked());
    EXPECT_EQ(general->undoPicker()->currentText(), "6 segundos");
    EXPECT_FALSE(general->loginToggle()->isChecked());
    EXPECT_EQ(general->versionLabel()->text(), QStringLiteral("Versión ") + GeneralSettings::version());
    EXPECT_FALSE(general->showsKeepAwake());
    EXPECT_EQ(settings.all(), (Json{{"GlobalKeyBindings_toggleRecording",
                                     R"({"carbonKeyCode":49,"carbonModifiers":2048})"}}));

    general->iconToggle()->click();
    EXPECT_EQ(settings->object("showsMenuBarIcon"), Json(false));
    EXPECT_TRUE(textsIn(*general).contains(
        "Sin icono, Parlox sigue funcionando con el atajo. Para volver aquí, abre Parlox desde el menú de "
        "aplicaciones. Para salir, Ctrl+Q con esta ventana delante."));
    general->iconToggle()->click();
    EXPECT_TRUE(textsIn(*general).contains(
        "Parlox vive en la bandeja del sistema. El atajo solo funciona mientras está abierta."));

    general->undoPicker()->activated(2);
    EXPECT_EQ(settings->object("doneSeconds"), Json(10.0));
    general->soundsToggle()->click();
    EXPECT_EQ(settings->object("soundsEnabled"), Json(false));
}

// Without a tray the switch says why no icon shows and how to reach
// Parlox, and the footer follows the tray as it comes and goes.
TEST_F(TabsTest, WithoutATrayTheIconSwitchSaysSoAndHowToOpenParlox) {
    bool tray = false;
    services.hasTray = [&tray] { return tray; };
    const QString noTray =
        "Este escritorio no tiene bandeja del sistema, así que el icono no se ve. Parlox sigue funcionando con el "
        "atajo. Para volver aquí, abre Parlox desde el menú de aplicaciones. Para salir, Ctrl+Q con esta ventana "
        "delante.";
    const QString inTray = "Parlox vive en la bandeja del sistema. El atajo solo funciona mientras está abierta.";
    auto general = show<GeneralSettings>();
    EXPECT_TRUE(general->iconToggle()->isChecked());
    EXPECT_TRUE(textsIn(*general).contains(noTray));
    EXPECT_FALSE(textsIn(*general).contains(inTray));

    tray = true;
    ApplicationActivation::shared().announce();
    EXPECT_TRUE(textsIn(*general).contains(inTray));
    tray = false;
    ApplicationActivation::shared().announce();
    EXPECT_TRUE(textsIn(*general).contains(noTray));
}

// Without an icon to click, the shortcut is the only way in: the footer
// says so only while there is one, and follows it.
TEST_F(TabsTest, WithoutAnIconTheFooterCountsOnTheShortcutOnlyWhenThereIsOne) {
    const QString reach =
        " Para volver aquí, abre Parlox desde el menú de aplicaciones. Para salir, Ctrl+Q con esta ventana delante.";
    struct Row {
        const char* what;
        bool tray;
        bool iconShown;
        bool shortcut;
        QString footer;
    };
    const Row rows[] = {
        {"no tray", false, true, true,
         "Este escritorio no tiene bandeja del sistema, así que el icono no se ve. Parlox sigue funcionando con el "
         "atajo." + reach},
        {"no tray, no shortcut", false, true, false,
         "Este escritorio no tiene bandeja del sistema, así que el icono no se ve, y sin atajo no puedes llamar a "
         "Parlox." + reach},
        {"icon hidden", true, false, true, "Sin icono, Parlox sigue funcionando con el atajo." + reach},
        {"icon hidden, no shortcut", true, false, false, "Sin icono ni atajo no puedes llamar a Parlox." + reach},
        {"in the tray, no shortcut", true, true, false,
         "Parlox vive en la bandeja del sistema. El atajo solo funciona mientras está abierta."},
    };
    const auto shortcut = GlobalKeyBindings::Shortcut(GlobalKeyBindings::Key::f5, GlobalKeyBindings::ModifierFlags());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        services.hasTray = [tray = row.tray] { return tray; };
        settings->set("showsMenuBarIcon", row.iconShown);
        GlobalKeyBindings::setShortcut(shortcut, HotkeyManager::toggleRecording());
        auto general = show<GeneralSettings>();
        // The footer follows the shortcut while the tab is open.
        if (!row.shortcut) GlobalKeyBindings::setShortcut(std::nullopt, HotkeyManager::toggleRecording());
        EXPECT_TRUE(textsIn(*general).contains(row.footer)) << textsIn(*general).join("\n").toStdString();
    }
}

// The footer names the user's dictation shortcut, or says there is none.
TEST_F(TabsTest, TheShortcutFooterNamesTheUsersShortcut) {
    auto general = show<GeneralSettings>();
    const QString start = "Mientras grabas, Intro termina y redacta, Esc cancela y pulsar el micrófono del indicador "
                          "pausa. ";
    EXPECT_TRUE(textsIn(*general).contains(start + "Si Alt+Espacio ya lo usa otra app o el escritorio, cámbialo aquí."));
    GlobalKeyBindings::setShortcut(
        GlobalKeyBindings::Shortcut(GlobalKeyBindings::Key::f5, GlobalKeyBindings::ModifierFlags()),
        HotkeyManager::toggleRecording());
    EXPECT_TRUE(textsIn(*general).contains(start + "Si F5 ya lo usa otra app o el escritorio, cámbialo aquí."));
    GlobalKeyBindings::setShortcut(std::nullopt, HotkeyManager::toggleRecording());
    EXPECT_TRUE(textsIn(*general).contains(start + "Sin atajo no puedes llamar a Parlox: elige uno aquí."));
}

// What a switch shows is what the application does: one reading of each
// key, whatever a hand-edited file holds.
TEST_F(TabsTest, SwitchesShowHandEditedValuesAsTheApplicationReadsThem) {
    const std::pair<Json, bool> values[] = {
        {Json(false), false}, {Json(true), true},     {Json(0), false},   {Json(2), true},
        {Json("no"), false},  {Json("false"), false}, {Json("0"), false}, {Json("Sí"), true},
        {Json("yes"), true},  {Json::array(), true},
    };
    struct Key {
        const char* name;
        bool (*read)();
        std::function<bool()> shown;
        bool absent;  // what a value read as nothing stands for
        nlohmann::json others;
    };
    std::unique_ptr<GeneralSettings> general;
    std::unique_ptr<WritingSettings> writing;
    const auto picture = [&] { return writing->screenToggle()->isChecked(); };
    const Key keys[] = {
        {"soundsEnabled", &SettingsStore::soundsEnabled, [&] { return general->soundsToggle()->isChecked(); }, true, {}},
        {"showsMenuBarIcon", &SettingsStore::showsMenuBarIcon, [&] { return general->iconToggle()->isChecked(); },
         true, {}},
        {"screenContext", &ScreenContextConsent::given, picture, true, {{"screenContextAllowed", true}}},
        // Only a clear yes is one.
        {"screenContextAllowed", &ScreenContextConsent::given, picture, false, {}},
    };
    for (const Key& key : keys) {
        for (const auto& [other, value] : key.others.items()) settings->set(other, value);
        for (auto [stored, on] : values) {
            if (stored.is_array() || stored == Json("Sí")) on = key.absent;
            settings->set(key.name, stored);
            general = show<GeneralSettings>();
            writing = show<WritingSettings>();
            EXPECT_EQ(key.shown(), on) << key.name << " = " << stored.dump();
            EXPECT_EQ(key.read(), on) << key.name << " = " << stored.dump();
        }
        settings->remove(key.name);
        for (const auto& [other, value] : key.others.items()) settings->remove(other);
    }
}

TEST_F(TabsTest, GeneralShowsNoChoiceForAnUnlistedUndoTime) {
    settings->set("doneSeconds", 7.0);
    auto general = show<GeneralSettings>();
    EXPECT_EQ(general->undoPicker()->currentIndex(), -1);
    EXPECT_EQ(settings->object("doneSeconds"), Json(7.0));
}

TEST_F(TabsTest, TheLoginToggleShowsTheSystemsAnswer) {
    // A registration that waits for the user's approval reads as off.
    class AwaitingApproval : public platform::desktop::LoginItem {
    public:
        bool isEnabled() override { return false; }
        void setEnabled(bool) override {}
    };
    services.loginItem = std::make_shared<AwaitingApproval>();
    auto general = show<GeneralSettings>();
    general->loginToggle()->click();
    EXPECT_FALSE(general->loginToggle()->isChecked());

    interface_test::Sandboxed sandbox;
    loginItem->refuse = true;
    services.loginItem = loginItem;
    auto refused = show<GeneralSettings>();
    refused->loginToggle()->click();
    EXPECT_FALSE(refused->loginToggle()->isChecked());
    EXPECT_NE(lastLogLine().find(" ERROR No he podido cambiar el arranque automático: "), std::string::npos);

    loginItem->refuse = false;
    refused->loginToggle()->click();
    EXPECT_TRUE(loginItem->enabled);
    EXPECT_TRUE(refused->loginToggle()->isChecked());
}

TEST_F(TabsTest, TheSameGestureHidesKeepAwakeAndSwitchesItOff) {
    settings->set("keepAwakeUnlocked", true);
    auto general = show<GeneralSettings>();
    ASSERT_TRUE(general->showsKeepAwake());
    general->keepAwakeToggle()->click();
    EXPECT_TRUE(keepAwake.on);
    for (int i = 0; i < 5; ++i) general->countVersionClick();
    EXPECT_FALSE(general->showsKeepAwake());
    EXPECT_EQ(settings->object("keepAwakeUnlocked"), Json(false));
    EXPECT_FALSE(keepAwake.on);
    EXPECT_FALSE(textsIn(*general).contains("Despierto"));
}

// Quick clicks reach the label as the toolkit delivers them: every second
// press of a pair comes as a double click. Each of them is a click.
TEST_F(TabsTest, QuickClicksOnTheVersionEachCount) {
    auto general = show<GeneralSettings>();
    QLabel* version = general->versionLabel();
    const QPointF inside(4, 4);
    for (int i = 0; i < 5; ++i) {
        const QEvent::Type press = i % 2 ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress;
        QMouseEvent down(press, inside, version->mapToGlobal(inside), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(version, &down);
        QMouseEvent up(QEvent::MouseButtonRelease, inside, version->mapToGlobal(inside), Qt::LeftButton, Qt::NoButton,
                       Qt::NoModifier);
        QApplication::sendEvent(version, &up);
        scheduler->advance(0.1);
    }
    EXPECT_TRUE(general->showsKeepAwake());
    EXPECT_EQ(settings->object("keepAwakeUnlocked"), Json(true));
    EXPECT_EQ(sounds->played(), (std::vector<std::string>{"Pop"}));
}

TEST_F(TabsTest, WritingShowsWhatToRunByHandWhenTheButtonsStepCannotOpen) {
    auto writing = show<WritingSettings>();
    checker->answerSetup(WriterProvider::chatGPT, WriterCheck::needsLogin());
    const QString steps = QStringLiteral("No pude abrir un terminal. Abre uno tú y escribe: codex login");
    recorded.byHand = steps.toStdString();
    EXPECT_FALSE(textsIn(*writing).contains(steps));
    buttonTitled(*writing, "Iniciar sesión")->click();
    EXPECT_EQ(recorded.opened, (std::vector<std::string>{"login chatgpt"}));
    EXPECT_TRUE(textsIn(*writing).contains(steps));

    // Pressed again with a step that opens: the old steps go.
    recorded.byHand.reset();
    buttonTitled(*writing, "Iniciar sesión")->click();
    EXPECT_FALSE(textsIn(*writing).contains(steps));
    // And they belong to the state they were shown for.
    recorded.byHand = steps.toStdString();
    buttonTitled(*writing, "Iniciar sesión")->click();
    EXPECT_TRUE(textsIn(*writing).contains(steps));
    writing->hide();
    writing->show();  // the quick look again, which now finds the tool missing
    checker->answerSetup(WriterProvider::chatGPT, WriterCheck::needsInstall());
    EXPECT_TRUE(textsIn(*writing).contains("Instalar"));
    EXPECT_FALSE(textsIn(*writing).contains(steps));
}

TEST_F(TabsTest, WritingShowsItsDefaultsWithoutWritingThem) {
    auto writing = show<WritingSettings>();
    EXPECT_FALSE(writing->screenToggle()->isChecked());  // no picture without the user's yes
    EXPECT_EQ(writing->instructionsEditor()->toPlainText().toStdString(),
              ParloxCore::PromptBuilder::defaultPersonalInstructions);
    EXPECT_EQ(writing->providerPicker()->currentText(), "ChatGPT");
    EXPECT_EQ(writing->modelPicker()->itemData(0).toString(), "gpt-5.6-luna");
    EXPECT_EQ(writing->modelPicker()->currentIndex(), 0);
    EXPECT_EQ(writing->effortPicker()->currentText(), "Rápido");
    EXPECT_EQ(writing->timeoutPicker()->currentText(), "45 segundos");
    EXPECT_EQ(settings.all().size(), 1u) << settings.all().dump();
    // The quick look on showing: the tool needs installing.
    checker->answerSetup(WriterProvider::chatGPT, WriterCheck::needsInstall());
    EXPECT_EQ(writing->check(), WriterCheck::needsInstall());
    EXPECT_TRUE(textsIn(*writing).contains("Instalar"));

    writing->effortPicker()->activated(2);
    writing->timeoutPicker()->activated(0);
    writing->instructionsEditor()->setPlainText(QStringLiteral("Firma: Ana"));
    EXPECT_EQ(settings->object("codexEffort"), Json("high"));
    EXPECT_EQ(settings->object("timeout"), Json(30.0));
    EXPECT_EQ(settings->object("personalInstructions"), Json("Firma: Ana"));
}

TEST_F(TabsTest, ModelChoicesPutAMissingStoredIdFirst) {
    using Models = WritingSettings::Models;
    const Models listed{{"a", "Alfa"}, {"b", "Beta"}};
    EXPECT_EQ(WritingSettings::choices(listed, "b"), listed);
    EXPECT_EQ(WritingSettings::choices(listed, "c"), (Models{{"c", "c"}, {"a", "Alfa"}, {"b", "Beta"}}));
    EXPECT_EQ(WritingSettings::choices({}, "gpt-5.6-luna"), (Models{{"gpt-5.6-luna", "gpt-5.6-luna"}}));
}

TEST_F(TabsTest, AProviderSwitchSwapsTheModelListAndResetsTheCheck) {
    settings->set("codexModel", "gpt-x");
    auto writing = show<WritingSettings>();
    checker->answerSetup(WriterProvider::chatGPT, std::nullopt);
    writing->runCheck();
    EXPECT_EQ(writing->check(), WriterCheck::running());

    writing->providerPicker()->activated(1);
    QTest::qWait(5);
    EXPECT_EQ(writing->check(), WriterCheck::idle());
    QStringList names;
    for (int i = 0; i < writing->modelPicker()->count(); ++i) names << writing->modelPicker()->itemText(i);
    EXPECT_EQ(names, (QStringList{"Sonnet 5.5", "Haiku 5.5 (el más rápido)", "Opus 5.5 (el más cuidadoso)"}));
    EXPECT_TRUE(textsIn(*writing).contains(
        "Usa tu plan de Claude a través de Claude Code. Si nunca has entrado, abre un terminal, escribe «claude» y "
        "luego /login. Los modos que piensan más tardan más."));

    // The Codex test that was running lands after the switch: it is not Claude's.
    checker->answerRun(WriterProvider::chatGPT, WriterCheck::ok(3.1));
    EXPECT_EQ(writing->check(), WriterCheck::idle());
    checker->answerSetup(WriterProvider::claude, WriterCheck::needsLogin());
    EXPECT_EQ(writing->check(), WriterCheck::needsLogin());
    EXPECT_EQ(settings->object("codexModel"), Json("gpt-x"));
    EXPECT_FALSE(settings->object("claudeModel"));
}

TEST_F(TabsTest, ComingBackToTheApplicationRetestsAToolThatWasWaiting) {
    auto writing = show<WritingSettings>();
    checker->answerSetup(WriterProvider::chatGPT, WriterCheck::needsLogin());
    ApplicationActivation::shared().announce();
    checker->answerSetup(WriterProvider::chatGPT, std::nullopt);
    EXPECT_EQ(writing->check(), WriterCheck::running());
    checker->answerRun(WriterProvider::chatGPT, WriterCheck::ok(2));
    EXPECT_EQ(writing->check(), WriterCheck::ok(2));
    EXPECT_TRUE(textsIn(*writing).contains("Responde en 2,0 s"));

    // Not waiting: activation looks at nothing.
    ApplicationActivation::shared().announce();
    EXPECT_TRUE(checker->setups.empty());
}

// Without an X11 session the row says what it takes; nothing can be asked or opened.
TEST_F(TabsTest, TheWindowPictureRowShowsOnlyWhenItMatters) {
    ScreenContextConsent::give();
    screenshots->allowed = false;
    auto writing = show<WritingSettings>();
    const auto badge = writing->findChild<PermissionBadge*>();
    ASSERT_NE(badge, nullptr);
    EXPECT_TRUE(badge->isVisibleTo(writing.get()));
    EXPECT_TRUE(textsIn(*writing).contains("La captura de ventana necesita una sesión X11"));
    EXPECT_EQ(badge->label()->text(), "No disponible");
    EXPECT_EQ(badge->button(), nullptr);

    writing->screenToggle()->click();
    EXPECT_FALSE(badge->isVisibleTo(writing.get()));
    screenshots->allowed = true;
    writing->screenToggle()->click();
    EXPECT_FALSE(badge->isVisibleTo(writing.get()));
}

// The switch is the user's yes to the window picture: it says what goes
// where, gives the yes and withdraws it, and shows a yes given elsewhere.
TEST_F(TabsTest, TheWindowPictureSwitchIsTheUsersYes) {
    struct Row {
        const char* provider;
        QString label;
        QString footer;
    };
    const Row rows[] = {
        {"chatgpt", "Mandar a Codex una imagen de la ventana",
         "Si lo activas, al pulsar el atajo Parlox captura la ventana en la que escribes y se la pasa a Codex junto a "
         "lo que dices: así sabe a quién contestas y de qué va. Codex la envía a su servicio, OpenAI, con tu cuenta de "
         "ChatGPT. Solo esa ventana, nunca la pantalla entera, y la captura se borra al terminar. Mientras está "
         "apagado, no se captura nada."},
        {"claude", "Mandar a Claude Code una imagen de la ventana",
         "Si lo activas, al pulsar el atajo Parlox captura la ventana en la que escribes y se la pasa a Claude Code "
         "junto a lo que dices: así sabe a quién contestas y de qué va. Claude Code la envía a su servicio, "
         "Anthropic, con tu cuenta de Claude. Solo esa ventana, nunca la pantalla entera, y la captura se borra al "
         "terminar. Mientras está apagado, no se captura nada."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.provider);
        settings->set("provider", std::string(row.provider));
        settings->set("screenContext", true);  // stored before anyone asked
        auto writing = show<WritingSettings>();
        auto requirements = show<PermissionSettings>();
        const auto pictureBadge = [&] { return requirements->findChildren<PermissionBadge*>()[2]; };
        EXPECT_FALSE(writing->screenToggle()->isChecked());
        EXPECT_TRUE(textsIn(*writing).contains(row.label));
        EXPECT_TRUE(textsIn(*writing).contains(row.footer)) << textsIn(*writing).join("\n").toStdString();
        EXPECT_EQ(pictureBadge()->state(), PermissionState::notAsked);

        const int requests = screenshots->accessRequests();
        writing->screenToggle()->click();
        EXPECT_EQ(settings->object("screenContextAllowed"), Json(true));
        EXPECT_EQ(settings->object("screenContext"), Json(true));
        EXPECT_EQ(screenshots->accessRequests(), requests + 1);
        requirements->refresh();
        EXPECT_EQ(pictureBadge()->state(), PermissionState::granted);

        writing->screenToggle()->click();
        EXPECT_EQ(settings->object("screenContextAllowed"), Json(false));
        EXPECT_EQ(settings->object("screenContext"), Json(false));
        requirements->refresh();
        EXPECT_EQ(pictureBadge()->state(), PermissionState::notAsked);

        // A yes given in the other tab shows when this one is shown again.
        ASSERT_NE(pictureBadge()->button(), nullptr);
        pictureBadge()->button()->click();
        EXPECT_EQ(pictureBadge()->state(), PermissionState::granted);
        writing->hide();
        writing->show();
        EXPECT_TRUE(writing->screenToggle()->isChecked());
        settings->remove("screenContextAllowed");
        settings->remove("screenContext");
    }
}

TEST_F(TabsTest, TheToolsPlaceIsThePathFound) {
    interface_test::Sandboxed sandbox;
    struct Row {
        const char* what;
        WriterProvider provider;
        std::function<void()> arrange;
        std::function<std::string()> expected;
    };
    const auto home = sandbox.home();
    const std::string claudeAppCopy =
        "Library/Application Support/Claude/claude-code/2.1.0/x/claude.app/Contents/MacOS/claude";
    const Row rows[] = {
        {"no codex", WriterProvider::chatGPT,
         [&] { settings->set("codexPath", (home / "missing/codex").string()); }, [] { return "Codex no encontrado"; }},
        {"codex where the settings say", WriterProvider::chatGPT,
         [&] {
             writing_test::writeFile(home / "bin/codex", "#!/bin/sh\n", std::filesystem::perms::owner_all);
             settings->set("codexPath", (home / "bin/codex").string());
         },
         [&] { return (home / "bin/codex").string(); }},
        {"claude in the desktop application's folder", WriterProvider::claude,
         [&] { writing_test::writeFile(home / claudeAppCopy, "#!/bin/sh\n", std::filesystem::perms::owner_all); },
         [&] { return (home / claudeAppCopy).string(); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        row.arrange();
        EXPECT_EQ(WritingSettings::toolPath(row.provider), row.expected());
    }

    checker->places[WriterProvider::chatGPT] = "/opt/codex/bin/codex";
    auto writing = show<WritingSettings>();
    EXPECT_EQ(writing->shownToolPath(), "/opt/codex/bin/codex");
}

TEST_F(TabsTest, VoiceFollowsTheSpeechModel) {
    struct Row {
        Transcriber::State state;
        QString text;
        QColor colour;
    };
    const Theme light = Theme::light();
    const Row rows[] = {
        {Transcriber::State::ready(), "Listo para usar", light.green()},
        {Transcriber::State::failed("Sin espacio en el disco"), "Sin espacio en el disco", light.orange()},
        {Transcriber::State::downloading(0.42), "Descargando modelo… 42 %", light.primary()},
        {Transcriber::State::loading(), "Cargando modelo (la primera vez tarda unos minutos)…", light.primary()},
    };
    auto voice = show<VoiceSettings>();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        setModel(row.state);
        EXPECT_EQ(voice->statusLabel()->text(), row.text);
        EXPECT_EQ(voice->statusLabel()->palette().color(QPalette::WindowText), row.colour);
        EXPECT_EQ(voice->findChildren<ProgressSpinner*>().size(), row.colour == light.primary() ? 1 : 0);
    }
    const auto dots = voice->findChildren<RatingDots*>();
    ASSERT_EQ(dots.size(), 2);
    EXPECT_EQ(dots[1]->value(), 4);
    EXPECT_DOUBLE_EQ(dots[1]->opacity(4), 0.65);
    EXPECT_DOUBLE_EQ(dots[1]->opacity(5), 0.15);

    interface_test::Sandboxed sandbox;
    buttonTitled(*voice, "Abrir la carpeta")->click();
    EXPECT_TRUE(std::filesystem::is_directory(VoiceSettings::modelFolder()));
    EXPECT_EQ(VoiceSettings::modelFolder(), platform::Paths::applicationSupportDirectory() / "Models");
    ASSERT_EQ(workspace->openedURLs().size(), 1u);
    EXPECT_EQ(workspace->openedURLs()[0], "file://" + VoiceSettings::modelFolder().string());
}

TEST(HeadElidedPath, ALongPathLosesItsStartNeverItsEnd) {
    ui_test::application();
    const QFontMetrics metrics(QFont(QStringLiteral("DejaVu Sans"), 12));
    const QString path = QStringLiteral("/home/una-persona-con-un-nombre-larguisimo/carpetas/anidadas/.local/share/"
                                        "Parlox/Models");
    EXPECT_EQ(HeadElidedPath::lines(path, metrics, 2000), QStringList{path});
    const QStringList two = HeadElidedPath::lines(path, metrics, 150);
    ASSERT_EQ(two.size(), 2);
    EXPECT_TRUE(two[0].startsWith(QStringLiteral("…")));
    EXPECT_TRUE((two[0] + two[1]).endsWith(QStringLiteral("Parlox/Models")));
    EXPECT_LE(metrics.horizontalAdvance(two[0]), 150);
    EXPECT_LE(metrics.horizontalAdvance(two[1]), 150);
    const QStringList one = HeadElidedPath::lines(path, metrics, 150, 1);
    ASSERT_EQ(one.size(), 1);
    EXPECT_TRUE(one[0].endsWith(QStringLiteral("Models")));
}

TEST_F(TabsTest, RequirementsAreReadAgainEveryTickAndAfterARequest) {
    ScreenContextConsent::give();
    accessibility->trusted = false;
    accessibility->grantsTrustOnRequest = true;
    screenshots->allowed = false;
    auto tab = show<PermissionSettings>();
    EXPECT_EQ(tab->refreshTimer().interval(), 1500);
    EXPECT_TRUE(tab->refreshTimer().isActive());
    const auto badges = tab->findChildren<PermissionBadge*>();
    ASSERT_EQ(badges.size(), 3);
    const QString note = "Sin Accesibilidad Parlox no puede pegar: te deja el texto en el portapapeles.";
    EXPECT_TRUE(textsIn(*tab).contains(note));
    EXPECT_TRUE(textsIn(*tab).contains("Esta sesión no es X11: elige una sesión X11 al entrar en el escritorio."));
    EXPECT_EQ(badges[2]->label()->text(), "No disponible");
    EXPECT_EQ(badges[2]->button(), nullptr);

    // A tick sees what changed elsewhere, with one look at the accessibility.
    screenshots->allowed = true;
    const int checks = accessibility->trustChecks();
    tab->refresh();
    EXPECT_EQ(accessibility->trustChecks(), checks + 1);
    EXPECT_EQ(badges[2]->label()->text(), "Disponible");
    EXPECT_TRUE(textsIn(*tab).contains("Cada dictado manda una imagen de la ventana en la que escribes a Codex o "
                                       "Claude Code, que la envían a su servicio. Se apaga en Ajustes › Redacción."));

    // "Activar" turns the assistive technologies on, and the tab reads them again.
    const int before = tab->refreshCount();
    badges[1]->button()->click();
    EXPECT_GT(tab->refreshCount(), before);
    EXPECT_EQ(badges[1]->label()->text(), "Disponible");
    EXPECT_FALSE(textsIn(*tab).contains(note));

    settings->set("fakePermissions", {{"microphone", "denied"}});
    FakePermissions::reload();
    tab->refresh();
    EXPECT_EQ(badges[0]->state(), PermissionState::denied);
    EXPECT_EQ(badges[0]->button()->text(), "Abrir ajustes");
    badges[0]->button()->click();
    EXPECT_EQ(systemSettings->opened, (std::vector<std::string>{"Privacy_Microphone"}));
}

}  // namespace
}  // namespace Parlox
