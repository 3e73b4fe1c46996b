#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/Interface/PermissionBadge.hpp"
#include "app/Interface/WelcomeWindow.hpp"
#include "tests/app/Interface/WindowTestSupport.hpp"

namespace Parlox {
namespace {

using interface_test::buttonTitled;
using interface_test::textsIn;
using interface_test::chatGPT;
using interface_test::claude;

class WelcomeWindowTest : public interface_test::WindowFixture {
protected:
    std::unique_ptr<WelcomeWindow> open() {
        auto window = std::make_unique<WelcomeWindow>(services, [this] { ++done; });
        // The tests refresh by hand and count the looks that makes; a tick
        // on a slow machine would add looks of its own.
        QObject::disconnect(&window->refreshTimer(), &QTimer::timeout, window.get(), nullptr);
        window->show();
        window->activateWindow();
        QTest::qWait(20);
        return window;
    }
    void pressReturn(WelcomeWindow& window) {
        QTest::keyClick(&window, Qt::Key_Return);
        QTest::qWait(5);
    }
    int done = 0;
};

// The road of a first run: Return moves on, "Más tarde" turns into
// "Continuar" once the permission is granted, the writing-tool page tests
// only the chosen tool and shows it connected, and "Listo" ends it.
TEST_F(WelcomeWindowTest, AFirstRunWalksThroughThePages) {
    settings->set("provider", "claude");
    accessibility->trusted = false;
    auto window = open();
    EXPECT_EQ(window->size(), QSize(440, 500));
    EXPECT_EQ(window->page(), 0);
    EXPECT_EQ(window->buttonTitle(), "Continuar");
    EXPECT_TRUE(window->button()->isDefault());

    pressReturn(*window);
    ASSERT_EQ(window->page(), 1);
    EXPECT_EQ(window->button()->text(), "Más tarde");
    EXPECT_FALSE(window->prominent());
    EXPECT_TRUE(textsIn(*window).contains(
        "Sin Accesibilidad Parlox no puede pegar: te dejará el texto en el portapapeles."));

    accessibility->trusted = true;
    EXPECT_TRUE(window->refreshTimer().isActive());
    EXPECT_EQ(window->refreshTimer().interval(), 1500);
    const int checks = accessibility->trustChecks();
    window->refresh();
    EXPECT_EQ(accessibility->trustChecks(), checks + 1);
    EXPECT_EQ(window->button()->text(), "Continuar");
    EXPECT_TRUE(window->prominent());
    EXPECT_FALSE(textsIn(*window).contains(
        "Sin Accesibilidad Parlox no puede pegar: te dejará el texto en el portapapeles."));

    pressReturn(*window);
    ASSERT_EQ(window->page(), 2);
    EXPECT_EQ(window->button()->text(), "Más tarde");
    ASSERT_EQ(checker->setups.size(), 2u);
    checker->answerSetup(chatGPT, std::nullopt);
    checker->answerSetup(claude, std::nullopt);
    EXPECT_EQ(checker->pendingRuns(claude), 1);
    EXPECT_EQ(checker->pendingRuns(chatGPT), 0);
    EXPECT_TRUE(textsIn(*window).contains("Comprobando…"));
    checker->answerRun(claude, WriterCheck::ok(2.34));
    QTest::qWait(5);
    const QStringList shown = textsIn(*window);
    EXPECT_TRUE(shown.contains("Conectado"));
    EXPECT_TRUE(shown.contains("Responde en 2,3 s."));
    EXPECT_TRUE(shown.contains("Con tu plan de ChatGPT, a través de Codex."));
    EXPECT_NE(buttonTitled(*window, "Conectar"), nullptr);
    EXPECT_EQ(window->button()->text(), "Continuar");
    EXPECT_EQ(settings->string("provider"), "claude");

    pressReturn(*window);
    ASSERT_EQ(window->page(), 3);
    EXPECT_EQ(window->button()->text(), "Listo");
    EXPECT_EQ(done, 0);
    pressReturn(*window);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(window->page(), 3);
}

TEST_F(WelcomeWindowTest, TheBarFollowsThePageAndThePermissions) {
    struct Row {
        const char* what;
        platform::audio::RecordPermission microphone;
        bool accessibilityTrusted;
        bool screenAllowed;
        QString title;
        bool prominent;
    };
    using RP = platform::audio::RecordPermission;
    const Row rows[] = {
        {"both granted, screen denied", RP::granted, true, false, "Continuar", true},
        {"no microphone", RP::denied, true, true, "Más tarde", false},
        {"microphone not asked", RP::undetermined, true, true, "Más tarde", false},
        {"no accessibility", RP::granted, false, true, "Más tarde", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        audio->permissionStatus = row.microphone;
        accessibility->trusted = row.accessibilityTrusted;
        screenshots->allowed = row.screenAllowed;
        settings->set("askedForScreenRecording", true);
        WelcomeWindow window(services, {}, WelcomeWindow::Snapshot{1, Theme::light(), {}, {}});
        EXPECT_EQ(window.buttonTitle(), row.title);
        EXPECT_EQ(window.prominent(), row.prominent);
        EXPECT_EQ(window.button()->property("prominent").toBool(), row.prominent);
    }
}

// Each row says what it checks and, while it is missing, what to do, and
// its badge offers only what helps on this desktop.
TEST_F(WelcomeWindowTest, EachRowSaysWhatItChecksAndOffersWhatHelps) {
    using Gap = platform::accessibility::TrustGap;
    struct Row {
        interface_test::DesktopState desktop;
        QStringList badges;  // label or button of each badge, in row order
        QStringList lines;   // the line under each title
    };
    using RP = platform::audio::RecordPermission;
    const QString soundLine = "Para oírte mientras dictas, con un micrófono del servidor de sonido.";
    const QString noMicrophone = "El servidor de sonido no tiene micrófono: conecta uno o actívalo.";
    const QString typingLine =
        "Para leer lo que tienes seleccionado y pegar el resultado, con las tecnologías de asistencia del escritorio.";
    const QString switchOff = "Las tecnologías de asistencia están apagadas: «Activar» las enciende. Las apps ya "
                              "abiertas, vuelve a abrirlas.";
    const QString stillOff =
        "Las tecnologías de asistencia siguen apagadas: enciéndelas en los ajustes y vuelve a entrar en la sesión.";
    const QString noSoundServer = "No contesta ningún servidor de sonido: arranca PulseAudio o PipeWire.";
    const QString sent = "manda una imagen de la ventana en la que escribes a Codex o Claude Code, que la envían a su "
                         "servicio.";
    const QString windowNotYet = "Si lo activas, cada dictado " + sent;
    const QString windowLine = "Cada dictado " + sent + " Se apaga en Ajustes › Redacción.";
    const QString noX11 = "Esta sesión no es X11: elige una sesión X11 al entrar en el escritorio.";
    const std::vector<std::string> pages = {"Privacy_Microphone", "Privacy_Accessibility"};
    const Row rows[] = {
        {{"all there, no yes to the window picture", RP::granted, true, Gap::none},
         {"Disponible", "Disponible", "Activar"}, {soundLine, typingLine, windowNotYet}},
        {{"all there", RP::granted, true, Gap::none, false, true, pages, true, true},
         {"Disponible", "Disponible", "Disponible"}, {soundLine, typingLine, windowLine}},
        {{"no microphone, switch off", RP::denied, false, Gap::assistiveTechnologiesOff, false, true, pages, true, true},
         {"Abrir ajustes", "Activar", "Disponible"}, {noMicrophone, switchOff, windowLine}},
        {{"no sound server", RP::denied, true, Gap::none, false, true, pages, true, true, false},
         {"Abrir ajustes", "Disponible", "Disponible"}, {noSoundServer, typingLine, windowLine}},
        {{"no sound settings", RP::denied, true, Gap::none, false, true, {}, true, true},
         {"No disponible", "Disponible", "Disponible"}, {noMicrophone, typingLine, windowLine}},
        {{"switch still off after asking", RP::granted, false, Gap::assistiveTechnologiesOff, true, true, pages, true,
          true},
         {"Disponible", "Abrir ajustes", "Disponible"}, {soundLine, stillOff, windowLine}},
        {{"still off, no accessibility settings", RP::granted, false, Gap::assistiveTechnologiesOff, true, true, {},
          true, true},
         {"Disponible", "Activar", "Disponible"}, {soundLine, switchOff, windowLine}},
        {{"no accessibility bus", RP::granted, false, Gap::noAccessibilityBus, true, true, pages, true, true},
         {"Disponible", "No disponible", "Disponible"},
         {soundLine,
          "La sesión no tiene el bus de accesibilidad (at-spi2-core): instálalo y vuelve a entrar en la sesión.",
          windowLine}},
        {{"no synthetic keys", RP::granted, false, Gap::noSyntheticKeys, false, true, pages, true, true},
         {"Disponible", "No disponible", "Disponible"},
         {soundLine, "Al servidor X le falta la extensión XTEST, con la que Parlox pega: actívala en su configuración.",
          windowLine}},
        {{"no X11 session", RP::granted, false, Gap::noX11Session, false, false, pages, true, true},
         {"Disponible", "No disponible", "No disponible"}, {soundLine, noX11, noX11}},
        {{"no X11 session, no yes", RP::granted, false, Gap::noX11Session, false, false},
         {"Disponible", "No disponible", "Activar"}, {soundLine, noX11, windowNotYet}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.desktop.name);
        arrange(row.desktop);
        WelcomeWindow window(services, {}, WelcomeWindow::Snapshot{1, Theme::light(), {}, {}});
        const auto badges = window.findChildren<PermissionBadge*>();
        ASSERT_EQ(badges.size(), 3);
        QStringList shown;
        for (const PermissionBadge* badge : badges)
            shown << (badge->button() ? badge->button()->text() : badge->label()->text());
        EXPECT_EQ(shown.join(" | ").toStdString(), row.badges.join(" | ").toStdString());
        for (const QString& line : row.lines) EXPECT_TRUE(textsIn(window, false).contains(line)) << line.toStdString();
    }
}

// A desktop too busy to answer a look in time leaves the accessibility row
// as it last read; before its first answer the row says it is unchecked.
TEST_F(WelcomeWindowTest, TheAccessibilityRowKeepsItsLastAnswerWhileTheDesktopDoesNotAnswer) {
    using Gap = platform::accessibility::TrustGap;
    accessibility->trusted = false;
    accessibility->untrustedBecause = Gap::noAnswer;
    WelcomeWindow window(services, {}, WelcomeWindow::Snapshot{1, Theme::light(), {}, {}});
    const auto badges = window.findChildren<PermissionBadge*>();
    ASSERT_EQ(badges.size(), 3);
    const auto row = [&] {
        return (badges[1]->button() ? badges[1]->button()->text() : badges[1]->label()->text()).toStdString();
    };
    EXPECT_EQ(window.accessibility(), PermissionState::unknown);
    EXPECT_EQ(row(), "Sin comprobar");

    struct Look {
        bool trusted;
        Gap gap;
        PermissionState::Value state;
        std::string badge;
    };
    const Look looks[] = {
        {true, Gap::none, PermissionState::granted, "Disponible"},
        {false, Gap::noAnswer, PermissionState::granted, "Disponible"},
        {false, Gap::assistiveTechnologiesOff, PermissionState::notAsked, "Activar"},
        {false, Gap::noAnswer, PermissionState::notAsked, "Activar"},
    };
    for (const Look& look : looks) {
        accessibility->trusted = look.trusted;
        accessibility->untrustedBecause = look.gap;
        window.refresh();
        EXPECT_EQ(window.accessibility(), look.state);
        EXPECT_EQ(row(), look.badge);
    }
}

TEST_F(WelcomeWindowTest, TheBadgesTurnOnAndOpenWhatTheySay) {
    audio->permissionStatus = platform::audio::RecordPermission::denied;
    accessibility->trusted = false;
    accessibility->grantsTrustOnRequest = true;
    WelcomeWindow window(services, {}, WelcomeWindow::Snapshot{1, Theme::light(), {}, {}});
    window.show();
    const auto badges = window.findChildren<PermissionBadge*>();
    ASSERT_EQ(badges.size(), 3);

    // The sound settings, or what to do where they cannot be opened.
    badges[0]->button()->click();
    EXPECT_EQ(systemSettings->opened, (std::vector<std::string>{"Privacy_Microphone"}));
    systemSettings->available = false;
    badges[0]->button()->click();
    ASSERT_EQ(explained.size(), 1u);
    EXPECT_EQ(explained[0], WindowPermissions::whatToDo("Privacy_Microphone"));

    // "Activar" turns the assistive technologies on, and the row follows.
    EXPECT_EQ(badges[1]->button()->text(), "Activar");
    badges[1]->button()->click();
    EXPECT_TRUE(settings->boolean("askedForAccessibility"));
    EXPECT_EQ(window.accessibility(), PermissionState::granted);
    EXPECT_EQ(badges[1]->label()->text(), "Disponible");
    EXPECT_EQ(badges[1]->button(), nullptr);

    // The window picture's "Activar" is the user's yes.
    EXPECT_EQ(window.screen(), PermissionState::notAsked);
    ASSERT_NE(badges[2]->button(), nullptr);
    EXPECT_EQ(badges[2]->button()->text(), "Activar");
    badges[2]->button()->click();
    EXPECT_TRUE(ScreenContextConsent::given());
    EXPECT_EQ(window.screen(), PermissionState::granted);
    ASSERT_NE(badges[2]->label(), nullptr);
    EXPECT_EQ(badges[2]->label()->text(), "Disponible");
}

// Where the desktop has no settings to open, a box says what to do, and
// every word in it is Spanish.
TEST_F(WelcomeWindowTest, TheBoxThatSaysWhatToDoSpeaksSpanish) {
    systemSettings->available = false;
    services.explain = nullptr;
    WelcomeWindow window(services, {}, WelcomeWindow::Snapshot{1, Theme::light(), {}, {}});
    QString shown;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        shown = box->text();
        for (QAbstractButton* button : box->buttons()) buttons << button->text();
        box->done(0);
    });
    WindowPermissions(services).openSettings(WindowPermissions::microphoneAnchor, &window);
    EXPECT_EQ(shown, WindowPermissions::whatToDo(WindowPermissions::microphoneAnchor));
    EXPECT_EQ(buttons, QStringList{"Aceptar"});
}

TEST_F(WelcomeWindowTest, TheFakePermissionsDefaultWinsAndUnknownIsUnchecked) {
    settings->set("fakePermissions", {{"microphone", "denied"}, {"accessibility", "granted"}});
    FakePermissions::reload();
    WelcomeWindow window(services, {}, WelcomeWindow::Snapshot{1, Theme::light(), {}, {}});
    EXPECT_EQ(window.microphone(), PermissionState::denied);
    EXPECT_EQ(window.accessibility(), PermissionState::granted);

    // Unread, a row claims nothing; one that can be turned on offers it.
    PermissionBadge unknown({}, {}, Theme::light());
    unknown.setReading({PermissionState::unknown, {}, false, false});
    EXPECT_EQ(unknown.button(), nullptr);
    EXPECT_EQ(unknown.label()->text(), "Sin comprobar");
    unknown.setReading({PermissionState::unknown, {}, true, false});
    ASSERT_NE(unknown.button(), nullptr);
    EXPECT_EQ(unknown.button()->text(), "Activar");
}

TEST_F(WelcomeWindowTest, AStepThatCannotOpenShowsWhatToRunByHand) {
    auto window = open();
    pressReturn(*window);
    pressReturn(*window);
    checker->answerSetup(chatGPT, WriterCheck::needsLogin());
    checker->answerSetup(claude, WriterCheck::needsInstall());
    const QString steps = QStringLiteral("No pude abrir un terminal. Abre uno tú y escribe: curl …");
    recorded.byHand = steps.toStdString();
    EXPECT_FALSE(textsIn(*window).contains(steps));
    buttonTitled(*window, "Instalar")->click();
    QTest::qWait(5);
    EXPECT_TRUE(textsIn(*window).contains(steps));
    const auto* label = window->findChild<QLabel*>(QStringLiteral("by-hand"));
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByMouse);  // the command can be copied
}

TEST_F(WelcomeWindowTest, TheRecheckRunsOnlyOnTheWritingPageForWaitingTools) {
    auto window = open();
    window->refresh();
    EXPECT_TRUE(checker->setups.empty());  // page 0: nothing to look at

    pressReturn(*window);
    pressReturn(*window);
    checker->answerSetup(chatGPT, WriterCheck::needsLogin());
    checker->answerSetup(claude, WriterCheck::needsInstall());
    EXPECT_TRUE(textsIn(*window).contains("Falta entrar con tu cuenta de ChatGPT. Se hace en el navegador."));
    buttonTitled(*window, "Instalar")->click();
    QTest::qWait(5);
    EXPECT_EQ(recorded.opened, (std::vector<std::string>{"install claude"}));
    EXPECT_TRUE(window->writers().isPending(claude));

    window->refresh();
    EXPECT_EQ(checker->pendingSetups(chatGPT), 1);
    EXPECT_EQ(checker->pendingSetups(claude), 1);
    checker->answerSetup(chatGPT, WriterCheck::needsLogin());
    checker->answerSetup(claude, std::nullopt);
    EXPECT_EQ(checker->pendingRuns(claude), 1);
    checker->answerRun(claude, WriterCheck::failed("Sin cuota"));
    QTest::qWait(5);
    EXPECT_NE(buttonTitled(*window, "Reintentar"), nullptr);

    pressReturn(*window);
    window->refresh();
    EXPECT_TRUE(checker->setups.empty());  // page 3
}

TEST_F(WelcomeWindowTest, APinnedWindowShowsItsChecksAndNeverLooks) {
    WelcomeWindow window(services, {},
                         WelcomeWindow::Snapshot{2, Theme::light(),
                                                 WriterConnection::Checks{{chatGPT, WriterCheck::ok(3.3)},
                                                                          {claude, WriterCheck::ok(2.6)}},
                                                 claude});
    window.show();
    window.refresh();
    EXPECT_TRUE(checker->setups.empty());
    const QStringList shown = textsIn(window);
    EXPECT_TRUE(shown.contains("También funciona. Responde en 3,3 s.")) << shown.join("|").toStdString();
    EXPECT_TRUE(shown.contains("Responde en 2,6 s."));
    EXPECT_TRUE(shown.contains("Usar"));
    EXPECT_TRUE(shown.contains("Conectado"));
    EXPECT_EQ(window.buttonTitle(), "Continuar");
}

TEST_F(WelcomeWindowTest, TheVoiceRowFollowsTheSpeechModel) {
    WelcomeWindow window(services, {}, WelcomeWindow::Snapshot{3, Theme::light(), {}, {}});
    EXPECT_TRUE(textsIn(window, false).contains("Cargando modelo (la primera vez tarda unos minutos)…"));
    setModel(Transcriber::State::downloading(0.426));
    EXPECT_TRUE(textsIn(window, false).contains("Descargando modelo… 42 %"));
    setModel(Transcriber::State::ready());
    EXPECT_TRUE(textsIn(window, false).contains("Listo · Alt+Espacio para dictar"));
}

// The how-to, the ready line and the shortcut note name the user's
// shortcut, or say there is none, and follow each change of it.
TEST_F(WelcomeWindowTest, TheTextsNameTheUsersShortcutAndFollowIt) {
    setModel(Transcriber::State::ready());
    WelcomeWindow window(services, {}, WelcomeWindow::Snapshot{3, Theme::light(), {}, {}});
    struct Row {
        std::optional<GlobalKeyBindings::Shortcut> shortcut;
        QStringList shown;
    };
    using GlobalKeyBindings::Key;
    using GlobalKeyBindings::ModifierFlags;
    const Row rows[] = {
        {GlobalKeyBindings::Shortcut(Key::k, ModifierFlags::control | ModifierFlags::option),
         {"Ctrl+Alt+K, hablas, Ctrl+Alt+K", "Listo · Ctrl+Alt+K para dictar",
          "Si Ctrl+Alt+K ya lo usa el escritorio u otra app, cambia aquí el atajo o quítaselo allí.",
          "Si no te gusta el resultado, Esc justo después devuelve tu original tal cual (en un terminal no: allí "
          "«Recuperar original», en el menú de Parlox, te lo copia). Con el resultado aún seleccionado, Ctrl+Alt+K "
          "otra vez te deja pedir cambios («más corto», «en catalán»)."}},
        {std::nullopt,
         {"Sin atajo todavía: lo eliges al final", "Listo · Sin atajo para dictar",
          "Sin atajo no puedes llamar a Parlox: elige uno aquí.",
          "Si no te gusta el resultado, Esc justo después devuelve tu original tal cual (en un terminal no: allí "
          "«Recuperar original», en el menú de Parlox, te lo copia). Con el resultado aún seleccionado, el atajo "
          "otra vez te deja pedir cambios («más corto», «en catalán»)."}},
    };
    for (const Row& row : rows) {
        GlobalKeyBindings::setShortcut(row.shortcut, HotkeyManager::toggleRecording());
        const QStringList texts = textsIn(window, false);
        for (const QString& text : row.shown) EXPECT_TRUE(texts.contains(text)) << text.toStdString();
        for (const QString& text : texts) EXPECT_FALSE(text.contains("Alt+Espacio")) << text.toStdString();
    }
}

}  // namespace
}  // namespace Parlox
