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
    window->refresh();
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

TEST_F(WelcomeWindowTest, BadgesShowEachStateAndAskOrOpenTheSettings) {
    audio->permissionStatus = platform::audio::RecordPermission::undetermined;
    audio->permission = true;
    accessibility->trusted = false;
    settings->set("askedForAccessibility", true);
    screenshots->allowed = false;
    WelcomeWindow window(services, {}, WelcomeWindow::Snapshot{1, Theme::light(), {}, {}});
    window.show();
    const auto badges = window.findChildren<PermissionBadge*>();
    ASSERT_EQ(badges.size(), 3);
    EXPECT_EQ(badges[0]->state(), PermissionState::notAsked);
    EXPECT_EQ(badges[0]->button()->text(), "Permitir");
    EXPECT_EQ(badges[1]->state(), PermissionState::denied);
    EXPECT_EQ(badges[1]->label()->text(), "Denegado");
    EXPECT_EQ(badges[1]->button()->text(), "Abrir Ajustes");
    EXPECT_EQ(badges[2]->button()->text(), "Permitir");

    // Denied: the desktop's settings, or what to do where it has none.
    badges[1]->button()->click();
    EXPECT_EQ(systemSettings->opened, (std::vector<std::string>{"Privacy_Accessibility"}));
    systemSettings->available = false;
    badges[1]->button()->click();
    ASSERT_EQ(explained.size(), 1u);
    EXPECT_EQ(explained[0], WindowPermissions::whatToDo("Privacy_Accessibility"));

    // Asking for screen recording remembers the question: the badge then offers the settings.
    badges[2]->button()->click();
    EXPECT_TRUE(settings->boolean("askedForScreenRecording"));
    EXPECT_EQ(badges[2]->state(), PermissionState::denied);

    // The microphone's answer arrives later and refreshes the window.
    badges[0]->button()->click();
    audio->permissionStatus = platform::audio::RecordPermission::granted;
    scheduler->settle();
    EXPECT_EQ(window.microphone(), PermissionState::granted);
    EXPECT_EQ(badges[0]->label()->text(), "Concedido");
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

TEST_F(WelcomeWindowTest, TheFakePermissionsDefaultWinsAndUnknownAsks) {
    settings->set("fakePermissions", {{"microphone", "denied"}, {"accessibility", "granted"}});
    FakePermissions::reload();
    WelcomeWindow window(services, {}, WelcomeWindow::Snapshot{1, Theme::light(), {}, {}});
    EXPECT_EQ(window.microphone(), PermissionState::denied);
    EXPECT_EQ(window.accessibility(), PermissionState::granted);

    PermissionBadge unknown(PermissionState::unknown, {}, {}, Theme::light());
    ASSERT_NE(unknown.button(), nullptr);
    EXPECT_EQ(unknown.button()->text(), "Permitir");
}

TEST_F(WelcomeWindowTest, AStepThatCannotOpenShowsWhatToRunByHand) {
    auto window = open();
    pressReturn(*window);
    pressReturn(*window);
    checker->answerSetup(chatGPT, WriterCheck::needsLogin());
    checker->answerSetup(claude, WriterCheck::needsInstall());
    const QString steps = QStringLiteral("No pude abrir la Terminal. Abre una tú y escribe: curl …");
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

}  // namespace
}  // namespace Parlox
