#include "app/Interface/GeneralSettings.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "app/Hotkey/DictationShortcut.hpp"
#include "app/Hotkey/HotkeyManager.hpp"
#include "app/Interface/ApplicationActivation.hpp"
#include "app/Interface/Recorder.hpp"
#include "app/Interface/SettingsForm.hpp"
#include "app/Interface/WindowParts.hpp"
#include "app/Overlay/MenuBarSources.hpp"
#include "app/Support/Log.hpp"
#include "app/Support/SettingsStore.hpp"
#include "app/System/Updater.hpp"
#include "platform/audio/SystemSounds.hpp"
#include "platform/concurrency/Scheduler.hpp"
#include "platform/desktop/LoginItem.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/UserDefaults.hpp"

namespace Parlox {
namespace {

using namespace WindowParts;

}  // namespace

bool VersionClicks::click(Clock::time_point now) {
    std::erase_if(clicks_, [&](Clock::time_point at) { return std::chrono::duration<double>(now - at).count() >= window; });
    clicks_.push_back(now);
    if (clicks_.size() < needed) return false;
    clicks_.clear();
    return true;
}

GeneralSettings::GeneralSettings(const WindowServices& services, const Theme& theme, QWidget* parent)
    : QWidget(parent), services_(services), theme_(theme) {
    build();
    if (services_.keepAwake) keepAwakeChanges_ = services_.keepAwake->changed().connect([this] { updateKeepAwake(); });
    shortcutChanges_ = DictationShortcut::onChange([this] {
        updateShortcutFooter();
        updateIconFooter();
    });
    // A tray may come or go with the desktop's panel.
    connect(&ApplicationActivation::shared(), &ApplicationActivation::becameActive, this,
            &GeneralSettings::updateIconFooter);
}

QString GeneralSettings::version() {
    const QString version = QStringLiteral(PARLOX_VERSION);
    return version.isEmpty() ? QStringLiteral("—") : version;
}

bool GeneralSettings::showsKeepAwake() const { return services_.keepAwake && services_.keepAwake->isUnlocked(); }

void GeneralSettings::build() {
    auto* form = new SettingsForm(theme_, this);
    column(0, this)->addWidget(form);

    general_ = form->addSection(QStringLiteral("General"));
    login_ = new QCheckBox();
    connect(login_, &QCheckBox::clicked, this, [this](bool on) {
        if (services_.loginItem) {
            try {
                services_.loginItem->setEnabled(on);
            } catch (const platform::Error& error) {
                Log::error("No he podido cambiar el arranque automático: " + error.localizedDescription());
            }
        }
        updateLogin();
    });
    general_->addLabeledRow(QStringLiteral("Abrir Parlox al iniciar sesión"), login_);
    icon_ = new QCheckBox();
    icon_->setChecked(SettingsStore::showsMenuBarIcon());
    connect(icon_, &QCheckBox::clicked, this, [this](bool on) {
        platform::UserDefaults::standard().set("showsMenuBarIcon", on);
        updateIconFooter();
    });
    general_->addLabeledRow(QStringLiteral("Mostrar el icono en la bandeja del sistema"), icon_);
    updateIconFooter();

    shortcut_ = form->addSection(QStringLiteral("Atajo"));
    shortcut_->addLabeledRow(QStringLiteral("Empezar y terminar de dictar"),
                             new GlobalKeyBindings::Recorder(HotkeyManager::toggleRecording()));
    updateShortcutFooter();

    FormSection* indicator = form->addSection(QStringLiteral("Indicador"));
    sounds_ = new QCheckBox();
    sounds_->setChecked(SettingsStore::soundsEnabled());
    connect(sounds_, &QCheckBox::clicked, this,
            [](bool on) { platform::UserDefaults::standard().set("soundsEnabled", on); });
    indicator->addLabeledRow(QStringLiteral("Sonidos al empezar y al terminar"), sounds_);
    undo_ = new QComboBox();
    undo_->setFont(body());
    undo_->setPalette(theme_.palette());
    for (double seconds : {3.0, 6.0, 10.0})
        undo_->addItem(QString::number(int(seconds)) + QStringLiteral(" segundos"), seconds);
    undo_->setCurrentIndex(undo_->findData(platform::UserDefaults::standard().doubleValue("doneSeconds", 6.0)));
    connect(undo_, &QComboBox::activated, this,
            [this](int index) {
                platform::UserDefaults::standard().set("doneSeconds", undo_->itemData(index).toDouble());
            });
    indicator->addLabeledRow(QStringLiteral("Esc deshace durante"), undo_);
    indicator->setFooter(QStringLiteral("El texto se pega sin pedir confirmación. Si no te gusta, pulsa Esc en esos "
                                        "segundos y vuelve tu original. Pasado ese rato, Esc vuelve a ser de la app en "
                                        "la que estás. En un terminal Esc es siempre suyo: «Recuperar original», en el "
                                        "menú de Parlox, te copia el original."));

    FormSection* updates = form->addSection(QStringLiteral("Actualizaciones"));
    version_ = text(QStringLiteral("Versión ") + version(), body(), theme_.primary(), false);
    version_->installEventFilter(this);
    auto* check = new QPushButton(QStringLiteral("Buscar actualizaciones"));
    styleButton(*check, false, theme_);
    connect(check, &QPushButton::clicked, this, [this] {
        if (services_.updater) services_.updater->checkForUpdates();
    });
    updates->addLabeledRow(version_, check);
    updates->setFooter(services_.updater && services_.updater->canCheck()
                           ? QStringLiteral("Parlox busca versiones nuevas sola cada pocas horas y te avisa. Nunca "
                                            "se reinicia a mitad de un dictado.")
                           : QStringLiteral("Parlox no se actualiza sola: para tener una versión nueva, instálala "
                                            "como instalaste esta."));

    keepAwake_ = form->addSection(QStringLiteral("Despierto"));
    keepAwakeToggle_ = new QCheckBox();
    connect(keepAwakeToggle_, &QCheckBox::clicked, this, [this](bool on) {
        if (services_.keepAwake) services_.keepAwake->set(on);
        updateKeepAwake();
    });
    keepAwake_->addLabeledRow(QStringLiteral("Despierto"), keepAwakeToggle_);
    keepAwake_->setFooter(QStringLiteral(
        "También en el menú de Parlox, encima de Ajustes. Mientras está activado, ni la pantalla ni el ordenador se "
        "duermen solos y, tras 5 minutos sin tocar nada, el ratón se mueve un punto cada 10 segundos para que no "
        "salgas como ausente; al cerrar la tapa, se duerme igual. Con la luna junto al icono de la bandeja, el "
        "ordenador puede dormirse. Se apaga al salir de Parlox. Pulsa cinco veces la versión para volver a "
        "esconderlo."));

    updateLogin();
    updateKeepAwake();
}

void GeneralSettings::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateLogin();
    updateIconFooter();
}

bool GeneralSettings::eventFilter(QObject* watched, QEvent* event) {
    // Quick clicks arrive as a press and then a double click: each is a click.
    const bool press = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (watched == version_ && press && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        countVersionClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

VersionClicks::Clock::time_point GeneralSettings::now() const {
    return services_.scheduler ? services_.scheduler->uptime() : VersionClicks::Clock::now();
}

void GeneralSettings::countVersionClick() {
    if (!versionClicks_.click(now())) return;
    const bool unlocked = showsKeepAwake();
    if (services_.keepAwake) services_.keepAwake->setUnlocked(!unlocked);
    // The sound answers the gesture whatever "soundsEnabled" says.
    if (services_.sounds)
        if (auto pop = services_.sounds->named("Pop")) pop->play();
    updateKeepAwake();
}

void GeneralSettings::updateLogin() {
    login_->setChecked(services_.loginItem && services_.loginItem->isEnabled());
}

void GeneralSettings::updateIconFooter() {
    const bool hasTray = !services_.hasTray || services_.hasTray();
    if (hasTray && SettingsStore::showsMenuBarIcon()) {
        general_->setFooter(QStringLiteral("Parlox vive en la bandeja del sistema. El atajo solo funciona mientras "
                                           "está abierta."));
        return;
    }
    // No icon to click: the shortcut is the only way in, if there is one.
    const bool hasShortcut = DictationShortcut::name().has_value();
    const QString noIcon =
        SettingsStore::showsMenuBarIcon()
            ? QStringLiteral("Este escritorio no tiene bandeja del sistema, así que el icono no se ve") +
                  (hasShortcut ? QStringLiteral(". Parlox sigue funcionando con el atajo.")
                               : QStringLiteral(", y sin atajo no puedes llamar a Parlox."))
            : (hasShortcut ? QStringLiteral("Sin icono, Parlox sigue funcionando con el atajo.")
                           : QStringLiteral("Sin icono ni atajo no puedes llamar a Parlox."));
    general_->setFooter(noIcon + QStringLiteral(" Para volver aquí, abre Parlox desde el menú de aplicaciones. Para "
                                                "salir, Ctrl+Q con esta ventana delante."));
}

void GeneralSettings::updateShortcutFooter() {
    const auto shortcut = DictationShortcut::name();
    shortcut_->setFooter(
        QStringLiteral("Mientras grabas, Intro termina y redacta, Esc cancela y pulsar el micrófono del indicador "
                       "pausa. ") +
        (shortcut ? QStringLiteral("Si ") + QString::fromStdString(*shortcut) +
                        QStringLiteral(" ya lo usa otra app o el escritorio, cámbialo aquí.")
                  : QString::fromUtf8(DictationShortcut::missingNote)));
}

void GeneralSettings::updateKeepAwake() {
    keepAwake_->setVisible(showsKeepAwake());
    keepAwakeToggle_->setChecked(services_.keepAwake && services_.keepAwake->isOn());
}

}  // namespace Parlox
