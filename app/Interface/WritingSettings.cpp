#include "app/Interface/WritingSettings.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QVBoxLayout>

#include "app/Interface/ApplicationActivation.hpp"
#include "app/Interface/HeadElidedPath.hpp"
#include "app/Interface/PermissionBadge.hpp"
#include "app/Interface/SettingsForm.hpp"
#include "app/Interface/WindowParts.hpp"
#include "app/Interface/WriterCheckViews.hpp"
#include "app/Support/ScreenContextConsent.hpp"
#include "app/Support/SettingsStore.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/foundation/UserDefaults.hpp"
#include "writing/ClaudeCodeLocator.hpp"
#include "writing/ClaudeCodeProvider.hpp"
#include "writing/ClaudeModels.hpp"
#include "writing/CodexLocator.hpp"
#include "writing/CodexProvider.hpp"

namespace Parlox {
namespace {

using namespace WindowParts;
using ParloxCore::ClaudeCodeProvider;
using ParloxCore::CodexProvider;

std::string stringSetting(const char* key, const std::string& fallback) {
    return platform::UserDefaults::standard().string(key).value_or(fallback);
}

QComboBox* picker(const Theme& theme) {
    auto* box = new QComboBox();
    box->setFont(body());
    box->setPalette(theme.palette());
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

// Selects the entry whose data equals `value`; none when no entry has it.
void selectData(QComboBox& box, const QVariant& value) { box.setCurrentIndex(box.findData(value)); }

}  // namespace

WritingSettings::WritingSettings(const WindowServices& services, const Theme& theme, QWidget* parent)
    : QWidget(parent), services_(services), permissions_(services), theme_(theme),
      self_(std::make_shared<WritingSettings*>(this)) {
    build();
    providerObservation_ = platform::UserDefaults::standard().observe("provider", [this](const std::string&) {
        QPointer<WritingSettings> self(this);
        QMetaObject::invokeMethod(this, [self] {
            if (self) self->providerDidChange();
        }, Qt::QueuedConnection);
    });
    connect(&ApplicationActivation::shared(), &ApplicationActivation::becameActive, this, &WritingSettings::activated);
}

WritingSettings::~WritingSettings() = default;

WritingSettings::Models WritingSettings::choices(Models models, const std::string& storedId) {
    for (const auto& model : models)
        if (model.id == storedId) return models;
    models.insert(models.begin(), {storedId, storedId});
    return models;
}

std::string WritingSettings::toolPath(WriterProvider provider) {
    if (provider == WriterProvider::claude) {
        const auto found = ParloxCore::ClaudeCodeLocator::locate(platform::Paths::home());
        return found ? found->string() : "Claude Code no encontrado";
    }
    std::optional<std::string> override = platform::UserDefaults::standard().string("codexPath");
    if (override && override->empty()) override.reset();
    const auto found = ParloxCore::CodexLocator::locate(override);
    return found ? found->string() : "Codex no encontrado";
}

QString WritingSettings::shownToolPath() const { return toolPath_->path(); }

void WritingSettings::build() {
    auto* form = new SettingsForm(theme_, this);
    column(0, this)->addWidget(form);

    context_ = form->addSection(QStringLiteral("Contexto"));
    screen_ = new QCheckBox();
    screen_->setChecked(ScreenContextConsent::given());
    connect(screen_, &QCheckBox::clicked, this, [this](bool on) {
        if (on)
            permissions_.allowWindowPicture();
        else
            ScreenContextConsent::withdraw();
        updateScreenRow();
    });
    screenLabel_ = text(QString(), body(), theme_.primary(), true);
    context_->addLabeledRow(screenLabel_, screen_);
    // Nothing to ask and no settings to open: the label says what it takes.
    screenBadge_ = new PermissionBadge({}, {}, theme_);
    screenRow_ = context_->addLabeledRow(QStringLiteral("La captura de ventana necesita una sesión X11"), screenBadge_);
    context_->setFooter(QString());

    FormSection* own = form->addSection(QStringLiteral("Tus instrucciones"));
    instructions_ = new QPlainTextEdit();
    instructions_->setFont(body());
    instructions_->setFixedHeight(90);
    instructions_->setFrameShape(QFrame::NoFrame);
    instructions_->viewport()->setAutoFillBackground(false);
    instructions_->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; color: %1; }")
                                     .arg(theme_.primary().name(QColor::HexArgb)));
    instructions_->setPlainText(QString::fromStdString(SettingsStore::personalInstructions()));
    connect(instructions_, &QPlainTextEdit::textChanged, this, [this] {
        platform::UserDefaults::standard().set("personalInstructions", instructions_->toPlainText().toStdString());
    });
    own->addRow(instructions_);
    own->setFooter(QStringLiteral("Se aplican a todo lo que redacta: tu estilo, tu firma, lo que nunca debe hacer. Lo "
                                  "que dictas manda sobre esto."));

    plan_ = form->addSection(QStringLiteral("Plan"));
    provider_ = picker(theme_);
    provider_->addItem(QStringLiteral("ChatGPT"), QStringLiteral("chatgpt"));
    provider_->addItem(QStringLiteral("Claude"), QStringLiteral("claude"));
    connect(provider_, &QComboBox::activated, this, [this](int index) {
        platform::UserDefaults::standard().set("provider", provider_->itemData(index).toString().toStdString());
    });
    plan_->addLabeledRow(QStringLiteral("Redactar con"), provider_);

    model_ = picker(theme_);
    connect(model_, &QComboBox::activated, this, [this](int index) {
        const char* key = WriterProvider::stored() == WriterProvider::claude ? "claudeModel" : "codexModel";
        platform::UserDefaults::standard().set(key, model_->itemData(index).toString().toStdString());
    });
    plan_->addLabeledRow(QStringLiteral("Modelo"), model_);

    effort_ = picker(theme_);
    effort_->addItem(QStringLiteral("Rápido"), QStringLiteral("low"));
    effort_->addItem(QStringLiteral("Equilibrado"), QStringLiteral("medium"));
    effort_->addItem(QStringLiteral("Cuidadoso"), QStringLiteral("high"));
    selectData(*effort_, QString::fromStdString(stringSetting("codexEffort", "low")));
    connect(effort_, &QComboBox::activated, this, [this](int index) {
        platform::UserDefaults::standard().set("codexEffort", effort_->itemData(index).toString().toStdString());
    });
    plan_->addLabeledRow(QStringLiteral("Razonamiento"), effort_);

    timeout_ = picker(theme_);
    for (double seconds : {30.0, 45.0, 90.0})
        timeout_->addItem(QString::number(int(seconds)) + QStringLiteral(" segundos"), seconds);
    selectData(*timeout_, platform::UserDefaults::standard().doubleValue("timeout", 45.0));
    connect(timeout_, &QComboBox::activated, this,
            [this](int index) {
                platform::UserDefaults::standard().set("timeout", timeout_->itemData(index).toDouble());
            });
    plan_->addLabeledRow(QStringLiteral("Esperar como mucho"), timeout_);

    auto* checkLabel = new QWidget();
    auto* checkWords = column(2, checkLabel);
    toolPath_ = new HeadElidedPath(QString(), 1, checkLabel);
    toolPath_->setFont(body());
    toolPath_->setPalette(theme_.palette());
    checkWords->addWidget(toolPath_);
    checkLine_ = new WriterCheckLine(check_, WriterProvider::stored(), theme_, checkLabel);
    checkWords->addWidget(checkLine_);
    byHand_ = WindowParts::byHand({}, theme_, checkLabel);
    byHand_->hide();
    checkWords->addWidget(byHand_);
    checkButton_ = new WriterCheckButton(check_, WriterProvider::stored(), [this] { runCheck(); },
                                         services_.writerActions);
    connect(checkButton_, &WriterCheckButton::byHandNeeded, this, [this](const QString& steps) {
        byHand_->setText(steps);
        byHand_->setVisible(!steps.isEmpty());
    });
    styleButton(*checkButton_, false, theme_);
    plan_->addLabeledRow(checkLabel, checkButton_);
    plan_->setFooter(QString());

    fillModelPicker();
    updateProviderTexts();
    updateScreenRow();
}

void WritingSettings::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    loadModels();
    updateScreenRow();
    refreshToolPath();
    // The quick look when the tab is shown; it only ever reports a waiting state.
    setupCheck(false);
}

void WritingSettings::loadModels() {
    models_ = ParloxCore::CodexModels::available(platform::Paths::home());
    fillModelPicker();
}

void WritingSettings::fillModelPicker() {
    const bool claude = WriterProvider::stored() == WriterProvider::claude;
    const std::string stored = claude ? stringSetting("claudeModel", ClaudeCodeProvider::defaultModel)
                                      : stringSetting("codexModel", CodexProvider::defaultModel);
    const Models entries = choices(claude ? ParloxCore::ClaudeModels::all() : models_, stored);
    model_->clear();
    for (const auto& entry : entries)
        model_->addItem(QString::fromStdString(entry.name), QString::fromStdString(entry.id));
    selectData(*model_, QString::fromStdString(stored));
}

void WritingSettings::updateScreenRow() {
    // The yes may have come from the other windows meanwhile.
    screen_->setChecked(ScreenContextConsent::given());
    const PermissionReading reading = permissions_.readWindowPicture();
    screenBadge_->setReading(reading);
    screenRow_->setVisible(screen_->isChecked() && reading.state != PermissionState::granted);
}

void WritingSettings::updateProviderTexts() {
    const bool claude = WriterProvider::stored() == WriterProvider::claude;
    provider_->setCurrentIndex(claude ? 1 : 0);
    const QString tool = QString::fromStdString(WriterProvider::stored().displayName());
    const QString plan = claude ? QStringLiteral("Claude") : QStringLiteral("ChatGPT");
    const QString company = claude ? QStringLiteral("Anthropic") : QStringLiteral("OpenAI");
    screenLabel_->setText(QStringLiteral("Mandar a ") + tool + QStringLiteral(" una imagen de la ventana"));
    context_->setFooter(QStringLiteral("Si lo activas, al pulsar el atajo Parlox captura la ventana en la que escribes "
                                       "y se la pasa a ") +
                        tool +
                        QStringLiteral(" junto a lo que dices: así sabe a quién contestas y de qué va. ") + tool +
                        QStringLiteral(" la envía a su servicio, ") + company + QStringLiteral(", con tu cuenta de ") +
                        plan +
                        QStringLiteral(". Solo esa ventana, nunca la pantalla entera, y la captura se borra al "
                                       "terminar. Mientras está apagado, no se captura nada."));
    plan_->setFooter(claude ? QStringLiteral("Usa tu plan de Claude a través de Claude Code. Si nunca has entrado, abre "
                                             "un terminal, escribe «claude» y luego /login. Los modos que piensan más "
                                             "tardan más.")
                            : QStringLiteral("Usa tu plan de ChatGPT a través de Codex. «Rápido» tarda unos 3 segundos "
                                             "en un mensaje corto; los otros piensan más y tardan más."));
}

void WritingSettings::updateCheckViews() {
    const WriterProvider provider = WriterProvider::stored();
    checkLine_->setCheck(check_, provider);
    checkButton_->setCheck(check_, provider);
}

void WritingSettings::setCheck(const WriterCheck& check) {
    // The steps to take by hand belong to the state they were shown for.
    if (check != check_) byHand_->hide();
    check_ = check;
    updateCheckViews();
}

// Results are written when they arrive; one for a tool that is no longer the
// chosen one would describe the wrong tool and is dropped.
void WritingSettings::setupCheck(bool idleWhenReady) {
    const WriterProvider provider = WriterProvider::stored();
    std::weak_ptr<WritingSettings*> weak = self_;
    services_.writerChecker->setup(provider, [weak, provider, idleWhenReady](std::optional<WriterCheck> answer) {
        auto self = weak.lock();
        if (!self || WriterProvider::stored() != provider) return;
        if (answer)
            (*self)->setCheck(*answer);
        else if (idleWhenReady)
            (*self)->setCheck(WriterCheck::idle());
    });
}

void WritingSettings::runCheck() {
    setCheck(WriterCheck::running());
    const WriterProvider provider = WriterProvider::stored();
    std::weak_ptr<WritingSettings*> weak = self_;
    services_.writerChecker->run(provider, [weak, provider](WriterCheck result) {
        auto self = weak.lock();
        if (!self || WriterProvider::stored() != provider) return;
        (*self)->setCheck(result);
    });
}

void WritingSettings::providerDidChange() {
    updateProviderTexts();
    fillModelPicker();
    refreshToolPath();
    setCheck(WriterCheck::idle());
    setupCheck(true);
}

void WritingSettings::activated() {
    if (!check_.isWaiting()) return;
    const WriterProvider provider = WriterProvider::stored();
    std::weak_ptr<WritingSettings*> weak = self_;
    services_.writerChecker->setup(provider, [weak, provider](std::optional<WriterCheck> answer) {
        auto self = weak.lock();
        if (!self || WriterProvider::stored() != provider || answer) return;
        (*self)->runCheck();
    });
}

void WritingSettings::refreshToolPath() {
    const WriterProvider provider = WriterProvider::stored();
    std::weak_ptr<WritingSettings*> weak = self_;
    services_.writerChecker->locate(provider, [weak, provider](std::string path) {
        auto self = weak.lock();
        if (self && WriterProvider::stored() == provider) (*self)->toolPath_->setPath(QString::fromStdString(path));
    });
}

}  // namespace Parlox
