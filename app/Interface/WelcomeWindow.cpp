#include "app/Interface/WelcomeWindow.hpp"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "app/Hotkey/DictationShortcut.hpp"
#include "app/Hotkey/HotkeyManager.hpp"
#include "app/Interface/ApplicationActivation.hpp"
#include "app/Interface/PermissionBadge.hpp"
#include "app/Interface/Recorder.hpp"
#include "app/Interface/WindowParts.hpp"
#include "app/Interface/WriterCheckViews.hpp"
#include "app/Overlay/Fonts.hpp"
#include "app/Overlay/ParloxMark.hpp"
#include "app/Transcription/ModelStatus.hpp"

namespace Parlox {

using namespace WindowParts;

// One dot per page, the current one filled in the primary colour.
class PageDots : public QWidget {
public:
    PageDots(int count, const Theme& theme, QWidget* parent) : QWidget(parent), count_(count), theme_(theme) {
        setFixedSize(count * diameter + (count - 1) * spacing, diameter);
    }
    void setCurrent(int current) {
        current_ = current;
        update();
    }
    int current() const { return current_; }

    static constexpr int diameter = 6;
    static constexpr int spacing = 6;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        for (int i = 0; i < count_; ++i) {
            painter.setBrush(i == current_ ? theme_.primary() : theme_.quaternary());
            painter.drawEllipse(QRectF(i * (diameter + spacing), 0, diameter, diameter));
        }
    }

private:
    int count_;
    Theme theme_;
    int current_ = 0;
};

namespace {

QWidget* padded(QWidget* page, int spacing, QVBoxLayout*& content) {
    content = new QVBoxLayout(page);
    content->setContentsMargins(24, 26, 24, 0);
    content->setSpacing(spacing);
    return page;
}

QWidget* heading(const QString& title, const QString& subtitle, const Theme& theme, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = column(6, box);
    layout->addWidget(text(title, Fonts::system(22, QFont::DemiBold), theme.primary(), false, box));
    layout->addWidget(text(subtitle, Fonts::system(13), theme.secondary(), true, box));
    return box;
}

// A padded page that starts with its heading.
QWidget* headedPage(const QString& title, const QString& subtitle, int spacing, const Theme& theme, QWidget* parent,
                    QVBoxLayout*& content) {
    auto* page = padded(new QWidget(parent), spacing, content);
    content->addWidget(heading(title, subtitle, theme, page));
    return page;
}

SymbolView* icon(const char* name, const Theme& theme, QWidget* parent) {
    return new SymbolView(name, 17, theme.secondary(), 24, parent);
}

// A title over a wrapping detail in the callout font.
QWidget* titled(const QString& title, const QString& detail, const Theme& theme, QWidget* parent,
                QLabel** detailLabel = nullptr, QLabel** titleLabel = nullptr) {
    auto* box = new QWidget(parent);
    auto* layout = column(2, box);
    QLabel* above = text(title, body(), theme.primary(), false, box);
    layout->addWidget(above);
    QLabel* below = text(detail, callout(), theme.secondary(), true, box);
    layout->addWidget(below);
    layout->addStretch(1);
    if (detailLabel) *detailLabel = below;
    if (titleLabel) *titleLabel = above;
    return box;
}

QWidget* point(const char* symbol, const QString& title, const QString& detail, const Theme& theme,
               QWidget* parent, QLabel** detailLabel = nullptr, QLabel** titleLabel = nullptr) {
    auto* box = new QWidget(parent);
    auto* layout = row(12, box);
    layout->addWidget(icon(symbol, theme, box), 0, Qt::AlignTop);
    layout->addWidget(titled(title, detail, theme, box, detailLabel, titleLabel), 1);
    return box;
}

// The how-to and the shortcut note name the user's dictation shortcut.
QString howToTitle(const std::optional<QString>& shortcut) {
    return shortcut ? *shortcut + QStringLiteral(", hablas, ") + *shortcut
                    : QStringLiteral("Sin atajo todavía: lo eliges al final");
}

QString undoDetail(const std::optional<QString>& shortcut) {
    return QStringLiteral("Si no te gusta el resultado, Esc justo después devuelve tu original tal cual (en un "
                          "terminal no: allí «Recuperar original», en el menú de Parlox, te lo copia). Con el "
                          "resultado aún seleccionado, ") +
           shortcut.value_or(QStringLiteral("el atajo")) +
           QStringLiteral(" otra vez te deja pedir cambios («más corto», «en catalán»).");
}

QString shortcutNote(const std::optional<QString>& shortcut) {
    return shortcut ? QStringLiteral("Si ") + *shortcut +
                          QStringLiteral(" ya lo usa el escritorio u otra app, cambia aquí el atajo o quítaselo allí.")
                    : QString::fromUtf8(DictationShortcut::missingNote);
}

std::optional<QString> shortcutName() {
    const auto name = DictationShortcut::name();
    if (!name) return std::nullopt;
    return QString::fromStdString(*name);
}

QLabel* group(const QString& title, const Theme& theme, QWidget* parent) {
    return text(title, Fonts::system(12, QFont::DemiBold), theme.secondary(), false, parent);
}

QPushButton* plainButton(const QString& title, const Theme& theme, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    styleButton(*button, false, theme);
    return button;
}

void clear(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

}  // namespace

WelcomeWindow::WelcomeWindow(const WindowServices& services, std::function<void()> onDone, QWidget* parent)
    : WelcomeWindow(services, std::move(onDone), Snapshot{0, Theme::current(), std::nullopt, std::nullopt}, parent) {}

WelcomeWindow::WelcomeWindow(const WindowServices& services, std::function<void()> onDone, const Snapshot& snapshot,
                             QWidget* parent)
    : QWidget(parent), services_(services), permissions_(services), onDone_(std::move(onDone)),
      theme_(snapshot.theme), pinned_(snapshot.checks.has_value()), page_(snapshot.page) {
    writers_ = pinned_ ? WriterConnection::pinned(*snapshot.checks, snapshot.connected)
                       : std::make_unique<WriterConnection>(services.writerChecker, services.writerActions);
    writers_->onChange = [this] {
        updatePlanRows();
        updateView();
    };
    readPermissions();
    build(snapshot);

    timer_.setInterval(refreshMilliseconds);
    connect(&timer_, &QTimer::timeout, this, &WelcomeWindow::refresh);
    timer_.start();
    connect(&ApplicationActivation::shared(), &ApplicationActivation::becameActive, this, &WelcomeWindow::refresh);
    if (services_.modelChanged)
        modelChanges_ = services_.modelChanged->connect([this] { updateModelStatus(); });
    shortcutChanges_ = DictationShortcut::onChange([this] { updateShortcutTexts(); });
}

WelcomeWindow::~WelcomeWindow() = default;

void WelcomeWindow::build(const Snapshot& snapshot) {
    setWindowTitle(QStringLiteral("Parlox"));
    setFixedSize(width, height);
    setPalette(theme_.palette());
    setAutoFillBackground(true);

    auto* layout = column(0, this);
    pages_ = new QStackedWidget(this);
    pages_->addWidget(whatItIs());
    pages_->addWidget(permissions());
    pages_->addWidget(plan());
    pages_->addWidget(hotkey());
    layout->addWidget(pages_, 1);
    layout->addWidget(controls());

    auto* returnKey = new QShortcut(QKeySequence(Qt::Key_Return), this);
    auto* enterKey = new QShortcut(QKeySequence(Qt::Key_Enter), this);
    connect(returnKey, &QShortcut::activated, this, &WelcomeWindow::pressButton);
    connect(enterKey, &QShortcut::activated, this, &WelcomeWindow::pressButton);

    updatePlanRows();
    updateShortcutTexts();
    showPage(snapshot.page, false);
}

QWidget* WelcomeWindow::whatItIs() {
    QVBoxLayout* content = nullptr;
    auto* page = padded(new QWidget(this), 20, content);
    auto* intro = new QWidget(page);
    auto* introLayout = column(8, intro);
    auto* mark = new WordMark(26, intro);
    mark->setTheme(theme_);
    introLayout->addWidget(mark, 0, Qt::AlignLeft);
    introLayout->addWidget(text(QStringLiteral("Di lo que quieres escribir y Parlox lo redacta en el campo donde estás."),
                                Fonts::system(13), theme_.secondary(), true, intro));
    content->addWidget(intro);

    auto* points = new QWidget(page);
    auto* pointsLayout = column(16, points);
    pointsLayout->addWidget(point("keyboard", QString(),
                                  QStringLiteral("Selecciona un texto o deja el cursor donde quieras escribir. Pide lo "
                                                 "que necesites: una respuesta, un mail, pasarlo a inglés. Parlox lo "
                                                 "escribe ahí mismo."),
                                  theme_, points, nullptr, &howTo_));
    pointsLayout->addWidget(point("lock.shield", QStringLiteral("Tu voz no sale del ordenador"),
                                  QStringLiteral("Se transcribe en tu propio ordenador y el audio se borra al momento. "
                                                 "Solo el texto va a ChatGPT o a Claude, con tu propia cuenta."),
                                  theme_, points));
    pointsLayout->addWidget(point("arrow.uturn.backward", QStringLiteral("Tu texto nunca se pierde"), QString(), theme_,
                                  points, &undoDetail_));
    content->addWidget(points);
    content->addStretch(1);
    return page;
}

QWidget* WelcomeWindow::permissions() {
    QVBoxLayout* content = nullptr;
    auto* page = headedPage(QStringLiteral("Requisitos"),
                            QStringLiteral("Parlox necesita oírte y poder escribir en otras apps. La imagen de la "
                                           "ventana, solo si tú quieres."),
                            18, theme_, this, content);
    auto* list = new QWidget(page);
    auto* rows = column(12, list);
    const auto permissionRow = [&](const char* symbol, const QString& title, std::function<void()> request,
                                   const char* anchor) {
        auto* box = new QWidget(list);
        auto* layout = row(12, box);
        layout->addWidget(icon(symbol, theme_, box), 0, Qt::AlignTop);
        PermissionRowParts shown;
        layout->addWidget(titled(title, QString(), theme_, box, &shown.detail), 1);
        shown.badge = new PermissionBadge(
            std::move(request), permissions_.settingsOpener(anchor, this), theme_, box);
        layout->addWidget(shown.badge, 0, Qt::AlignVCenter);
        rows->addWidget(box);
        return shown;
    };
    rows->addWidget(group(QStringLiteral("Necesarios"), theme_, list));
    microphoneRow_ = permissionRow("mic", QStringLiteral("Micrófono"), {}, WindowPermissions::microphoneAnchor);
    accessibilityRow_ = permissionRow(
        "accessibility", QStringLiteral("Accesibilidad"),
        [this] {
            permissions_.requestAccessibility();
            refresh();
        },
        WindowPermissions::accessibilityAnchor);
    pasteNote_ = text(QStringLiteral("Sin Accesibilidad Parlox no puede pegar: te dejará el texto en el portapapeles."),
                      callout(), theme_.secondary(), true, list);
    rows->addWidget(pasteNote_);
    rows->addWidget(group(QStringLiteral("Recomendado"), theme_, list));
    screenRow_ = permissionRow(
        "macwindow", QStringLiteral("Captura de ventana"),
        [this] {
            permissions_.allowWindowPicture();
            refresh();
        },
        nullptr);
    content->addWidget(list);
    content->addStretch(1);
    return page;
}

QWidget* WelcomeWindow::plan() {
    QVBoxLayout* content = nullptr;
    auto* page = headedPage(QStringLiteral("Redactar con"),
                            QStringLiteral("Parlox redacta con tu propio plan de ChatGPT o de Claude. Conecta el que "
                                           "tengas; si tienes los dos, elige uno."),
                            20, theme_, this, content);
    auto* list = new QWidget(page);
    auto* rows = column(12, list);
    for (WriterProvider provider : WriterProvider::allCases()) rows->addWidget(providerRow(provider));
    content->addWidget(list);
    content->addWidget(text(QStringLiteral("Podrás cambiarlo cuando quieras en Ajustes › Redacción."), callout(),
                            theme_.secondary(), true, page));
    content->addStretch(1);
    return page;
}

QWidget* WelcomeWindow::providerRow(WriterProvider provider) {
    auto* box = new QWidget(this);
    auto* layout = row(12, box);
    const bool claude = provider == WriterProvider::claude;
    layout->addWidget(icon(claude ? "sparkles" : "text.bubble", theme_, box), 0, Qt::AlignVCenter);
    auto* middle = new QWidget(box);
    auto* middleLayout = column(2, middle);
    middleLayout->addWidget(
        text(claude ? QStringLiteral("Claude") : QStringLiteral("ChatGPT"), body(), theme_.primary(), false, middle));
    auto* detail = new QVBoxLayout();
    detail->setContentsMargins(0, 0, 0, 0);
    middleLayout->addLayout(detail);
    layout->addWidget(middle, 1);
    layout->addSpacing(12);
    auto* action = new QVBoxLayout();
    action->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(action);
    planRows_.push_back({provider, detail, action});
    return box;
}

void WelcomeWindow::updatePlanRows() {
    const auto connected = writers_->connected();
    for (const PlanRow& planRow : planRows_) {
        const WriterProvider p = planRow.provider;
        const WriterCheck check = writers_->check(p);
        auto* host = planRow.detail->parentWidget();
        clear(planRow.detail);
        clear(planRow.action);
        const bool isConnected = connected == std::optional<WriterProvider>(p);

        QWidget* detail = nullptr;
        switch (check.kind) {
            case WriterCheck::Kind::idle:
                detail = text(p == WriterProvider::claude ? QStringLiteral("Con tu plan de Claude, a través de Claude Code.")
                                                          : QStringLiteral("Con tu plan de ChatGPT, a través de Codex."),
                              callout(), theme_.secondary(), true, host);
                break;
            case WriterCheck::Kind::ok:
                detail = text((isConnected ? QString() : QStringLiteral("También funciona. ")) +
                                  WriterCheckLine::answersIn(check.seconds) + QStringLiteral("."),
                              callout(), theme_.secondary(), true, host);
                break;
            default:
                detail = new WriterCheckLine(check, p, theme_, host);
                break;
        }
        planRow.detail->addWidget(detail);
        detail->show();
        if (const auto byHand = writers_->byHand(p)) {
            auto* steps = WindowParts::byHand(*byHand, theme_, host);
            planRow.detail->addWidget(steps);
            steps->show();
        }

        QWidget* action = nullptr;
        if (check.kind == WriterCheck::Kind::ok && isConnected) {
            action = new QWidget(host);
            auto* connectedRow = row(5, action);
            connectedRow->addWidget(new SymbolView("checkmark.circle.fill", 13, theme_.green(), 0, action));
            connectedRow->addWidget(text(QStringLiteral("Conectado"), body(), theme_.secondary(), false, action));
        } else {
            QString title;
            std::function<void()> act;
            switch (check.kind) {
                case WriterCheck::Kind::ok:
                    title = QStringLiteral("Usar");
                    act = [this, p] { writers_->choose(p); };
                    break;
                case WriterCheck::Kind::failed:
                    title = QStringLiteral("Reintentar");
                    act = [this, p] { writers_->connect(p, true); };
                    break;
                case WriterCheck::Kind::idle:
                case WriterCheck::Kind::running:
                    title = QStringLiteral("Conectar");
                    act = [this, p] { writers_->connect(p, true); };
                    break;
                case WriterCheck::Kind::needsInstall:
                    title = QStringLiteral("Instalar");
                    act = [this, p] { writers_->install(p); };
                    break;
                case WriterCheck::Kind::needsLogin:
                    title = QStringLiteral("Iniciar sesión");
                    act = [this, p] { writers_->signIn(p); };
                    break;
                case WriterCheck::Kind::needsPlan:
                    title = QStringLiteral("Ver planes");
                    act = [this, p] { writers_->seePlans(p); };
                    break;
            }
            auto* button = plainButton(title, theme_, host);
            button->setObjectName(QString::fromStdString("action-" + p.rawValue()));
            button->setEnabled(check.kind != WriterCheck::Kind::running);
            // Deferred: the button goes away when the row is rebuilt by its own action.
            connect(button, &QPushButton::clicked, this, [this, act] { QTimer::singleShot(0, this, act); });
            action = button;
        }
        planRow.action->addWidget(action, 0, Qt::AlignVCenter);
        action->show();
    }
}

QWidget* WelcomeWindow::hotkey() {
    QVBoxLayout* content = nullptr;
    auto* page = headedPage(QStringLiteral("El atajo"),
                            QStringLiteral("Parlox se llama con un atajo de teclado. Elige uno que no use ninguna otra "
                                           "app."),
                            20, theme_, this, content);
    auto* list = new QWidget(page);
    auto* rows = column(12, list);

    auto* shortcutRow = new QWidget(list);
    auto* shortcutLayout = row(12, shortcutRow);
    shortcutLayout->addWidget(icon("keyboard", theme_, shortcutRow), 0, Qt::AlignVCenter);
    shortcutLayout->addWidget(
        titled(QStringLiteral("Atajo"), QStringLiteral("Para empezar y para terminar de dictar."), theme_, shortcutRow),
        1);
    shortcutLayout->addWidget(new GlobalKeyBindings::Recorder(HotkeyManager::toggleRecording(), {}, shortcutRow), 0,
                              Qt::AlignVCenter);
    rows->addWidget(shortcutRow);

    auto* voiceRow = new QWidget(list);
    auto* voiceLayout = row(12, voiceRow);
    voiceLayout->addWidget(icon("waveform", theme_, voiceRow), 0, Qt::AlignTop);
    voiceLayout->addWidget(titled(QStringLiteral("Voz"), QString(), theme_, voiceRow, &modelStatus_), 1);
    rows->addWidget(voiceRow);
    content->addWidget(list);
    shortcutNote_ = text(QString(), callout(), theme_.secondary(), true, page);
    content->addWidget(shortcutNote_);
    content->addStretch(1);
    return page;
}

QWidget* WelcomeWindow::controls() {
    auto* bar = new QWidget(this);
    auto* layout = row(0, bar);
    layout->setContentsMargins(24, 18, 24, 18);
    dots_ = new PageDots(4, theme_, bar);
    layout->addWidget(dots_, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    button_ = new QPushButton(bar);
    button_->setObjectName(QStringLiteral("forward"));
    button_->setDefault(true);
    connect(button_, &QPushButton::clicked, this, &WelcomeWindow::pressButton);
    layout->addWidget(button_, 0, Qt::AlignVCenter);
    return bar;
}

bool WelcomeWindow::canWork() const {
    return microphone_.state == PermissionState::granted && accessibility_.state == PermissionState::granted;
}

QString WelcomeWindow::buttonTitle() const {
    switch (page_) {
        case 0:
            return QStringLiteral("Continuar");
        case 1:
            return canWork() ? QStringLiteral("Continuar") : QStringLiteral("Más tarde");
        case 2:
            return writers_->connected() ? QStringLiteral("Continuar") : QStringLiteral("Más tarde");
        default:
            return QStringLiteral("Listo");
    }
}

bool WelcomeWindow::prominent() const {
    switch (page_) {
        case 1:
            return canWork();
        case 2:
            return writers_->connected().has_value();
        default:
            return true;
    }
}

void WelcomeWindow::pressButton() {
    if (page_ < 3) {
        showPage(page_ + 1, true);
        return;
    }
    if (onDone_) onDone_();
}

void WelcomeWindow::showPage(int page, bool animated) {
    page_ = page;
    pages_->setCurrentIndex(std::clamp(page, 0, 3));
    if (animated) {
        auto* fade = new QGraphicsOpacityEffect(pages_);
        pages_->setGraphicsEffect(fade);
        auto* animation = new QPropertyAnimation(fade, "opacity", fade);
        animation->setDuration(150);
        animation->setStartValue(0.0);
        animation->setEndValue(1.0);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        connect(animation, &QPropertyAnimation::finished, pages_, [this] { pages_->setGraphicsEffect(nullptr); });
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    }
    if (page_ == 2) writers_->firstLook();
    updateView();
}

void WelcomeWindow::readPermissions() {
    microphone_ = permissions_.readMicrophone();
    accessibility_ = permissions_.readAccessibility();
    screen_ = permissions_.readWindowPicture();
}

void WelcomeWindow::refresh() {
    readPermissions();
    if (page_ == 2 && !pinned_) writers_->recheckWaiting();
    updateView();
}

void WelcomeWindow::updateView() {
    if (!button_) return;
    microphoneRow_.show(microphone_);
    accessibilityRow_.show(accessibility_);
    screenRow_.show(screen_);
    if (pasteNote_) pasteNote_->setVisible(accessibility_.state != PermissionState::granted);
    dots_->setCurrent(std::clamp(page_, 0, 3));
    button_->setText(buttonTitle());
    styleButton(*button_, prominent(), theme_);
}

void WelcomeWindow::updateModelStatus() {
    if (modelStatus_) modelStatus_->setText(QString::fromStdString(ModelStatus::text(services_.modelState())));
}

void WelcomeWindow::updateShortcutTexts() {
    const auto shortcut = shortcutName();
    howTo_->setText(howToTitle(shortcut));
    undoDetail_->setText(undoDetail(shortcut));
    shortcutNote_->setText(shortcutNote(shortcut));
    updateModelStatus();
}

void WelcomeWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

}  // namespace Parlox
