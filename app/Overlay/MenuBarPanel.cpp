#include "app/Overlay/MenuBarPanel.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QPointer>
#include <QPainter>

#include "app/Overlay/Fonts.hpp"
#include "app/Overlay/OverlayPresentation.hpp"
#include "app/Overlay/PanelWidgets.hpp"
#include "app/Overlay/Symbols.hpp"
#include "app/Transcription/ModelStatus.hpp"

namespace Parlox {
namespace {

using Kind = DictationController::Phase::Kind;

QString qs(const std::string& text) { return QString::fromStdString(text); }

// A coloured dot of the recording line.
class Dot : public QWidget {
public:
    Dot(const QColor& color, QWidget* parent) : QWidget(parent), color_(color) { setFixedSize(7, 7); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color_);
        painter.drawEllipse(QRectF(rect()));
    }

private:
    QColor color_;
};

// A symbol at the size of a line of text.
class SymbolIcon : public QWidget {
public:
    SymbolIcon(const char* symbol, const QColor& color, int size, QWidget* parent)
        : QWidget(parent), symbol_(symbol), color_(color) {
        setFixedSize(size, size);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Symbols::paint(painter, symbol_, QRectF(rect()), color_);
    }

private:
    const char* symbol_;
    QColor color_;
};

QWidget* section(QWidget* parent, int horizontal, int vertical, QBoxLayout** layout, int spacing = 0) {
    auto* widget = new QWidget(parent);
    auto* box = new QVBoxLayout(widget);
    box->setContentsMargins(horizontal, vertical, horizontal, vertical);
    box->setSpacing(spacing);
    *layout = box;
    return widget;
}

QHBoxLayout* marginlessRow(int spacing) {
    auto* line = new QHBoxLayout();
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(spacing);
    return line;
}

}  // namespace

MenuBarPanel::MenuBarPanel(Sources sources, Actions actions, const Theme& theme, bool animated, QWidget* parent)
    : QWidget(parent), sources_(std::move(sources)), actions_(std::move(actions)), theme_(theme), animated_(animated) {
    if (!sources_.now) sources_.now = platform::now;
    setFixedWidth(width);
    setAutoFillBackground(true);
    setPalette(theme_.palette());
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(0);

    auto redraw = [this] { rebuild(); };
    if (sources_.dictation) connections_.push_back(sources_.dictation->changed().connect(redraw));
    if (sources_.keepAwake) connections_.push_back(sources_.keepAwake->changed().connect(redraw));
    if (sources_.updater) connections_.push_back(sources_.updater->availableVersionChanged().connect(redraw));

    permissionTimer_.setInterval(1500);
    connect(&permissionTimer_, &QTimer::timeout, this, &MenuBarPanel::refresh);
    clockTimer_.setInterval(500);
    connect(&clockTimer_, &QTimer::timeout, this, [this] {
        if (clock_) clock_->setText(clockText());
    });
    if (animated_) {
        permissionTimer_.start();
        clockTimer_.start();
    }
    refresh();
    rebuild();
}

MenuBarPanel::~MenuBarPanel() = default;

std::optional<std::string> MenuBarPanel::permissionProblem(PermissionState microphone, PermissionState accessibility) {
    const bool mic = microphone == PermissionState::granted;
    // A desktop that has not answered yet is not said to lack it.
    const bool ax = accessibility == PermissionState::granted || accessibility == PermissionState::unknown;
    if (!mic && !ax) return "Faltan el micr\u00F3fono y la Accesibilidad.";
    if (!mic) return "Falta el micr\u00F3fono: Parlox no puede o\u00EDrte.";
    if (!ax) return "Falta la Accesibilidad: Parlox no puede pegar.";
    return std::nullopt;
}

QString MenuBarPanel::clockText() const {
    return qs(formatClock(sources_.dictation ? sources_.dictation->recordedSeconds(sources_.now()) : 0));
}

void MenuBarPanel::refresh() {
    const PermissionState microphone = sources_.audio ? MicrophonePermission::state(*sources_.audio)
                                                      : PermissionState(PermissionState::unknown);
    const PermissionState accessibility = sources_.accessibility
                                              ? AccessibilityPermission::state(*sources_.accessibility)
                                              : PermissionState(PermissionState::unknown);
    if (microphone == microphone_ && accessibility == accessibility_) return;
    microphone_ = microphone;
    accessibility_ = accessibility;
    rebuild();
}

std::optional<ParloxCore::DictationSession> MenuBarPanel::lastSession() const {
    if (!sources_.dictation) return std::nullopt;
    auto session = sources_.dictation->latestSession();
    if (!session || session->isUndone || !session->current()) return std::nullopt;
    return session;
}

void MenuBarPanel::closeThen(const std::function<void()>& action) {
    if (actions_.closeWindow) actions_.closeWindow();
    if (action) action();
}

void MenuBarPanel::rebuild() {
    // Each section is rebuilt from what it reads; nothing is kept between redraws.
    clock_ = nullptr;
    while (QLayoutItem* item = column_->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    if (sources_.updater && sources_.updater->availableVersion()) {
        addUpdateRow(*sources_.updater->availableVersion());
        addDivider();
    }
    if (const auto problem = permissionProblem(microphone_, accessibility_)) addPermissionWarning(*problem);
    const bool atRest = !sources_.dictation || (sources_.dictation->phase().kind == Kind::idle &&
                                                 sources_.dictation->model().isReady());
    if (!atRest) {
        addStatus();
        addDivider();
    }
    if (const auto session = lastSession()) {
        addActions(*session);
        addDivider();
    }
    addFooter();
}

void MenuBarPanel::addDivider() {
    auto* line = new QFrame(this);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, theme_.ink(0.1));
    line->setPalette(palette);
    column_->addWidget(line);
}

void MenuBarPanel::addUpdateRow(const std::string& version) {
    auto* button = new PanelButton(
        qs("Actualizar a la " + version + "\u2026"),
        [this] {
            closeThen([this] {
                if (actions_.activate) actions_.activate();
                if (sources_.updater) sources_.updater->checkForUpdates();
            });
        },
        theme_, this, true, 4);
    column_->addWidget(button);
}

void MenuBarPanel::addPermissionWarning(const std::string& problem) {
    QBoxLayout* box = nullptr;
    QWidget* warning = section(this, 14, 10, &box, 6);
    warning->setAutoFillBackground(true);
    QPalette palette = warning->palette();
    QColor tint = theme_.orange();
    tint.setAlphaF(0.08f);
    palette.setColor(QPalette::Window, tint);
    warning->setPalette(palette);
    QHBoxLayout* line = marginlessRow(5);
    line->addWidget(new SymbolIcon("exclamationmark.triangle.fill", theme_.orange(), 12, warning), 0, Qt::AlignTop);
    line->addWidget(textLabel(qs(problem), Fonts::menuDetail(), theme_.orange(), true, warning), 1);
    box->addLayout(line);
    box->addWidget(smallButton(QStringLiteral("Abrir Ajustes de Parlox"), false, theme_,
                               [this] { closeThen(actions_.openSettings); }, warning),
                   0, Qt::AlignLeft);
    column_->addWidget(warning);
}

QWidget* MenuBarPanel::headline(const QString& title, const QString& detail) {
    auto* widget = new QWidget(this);
    auto* box = new QVBoxLayout(widget);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(2);
    box->addWidget(textLabel(title, Fonts::menuProminent(), theme_.primary(), true, widget));
    box->addWidget(textLabel(detail, Fonts::menuDetail(), theme_.secondary(), true, widget));
    return widget;
}

void MenuBarPanel::primaryAction() {
    // Acts on the phase at the moment of the click.
    closeThen([this] {
        switch (sources_.dictation->phase().kind) {
            case Kind::recording:
            case Kind::paused: sources_.dictation->finishRecording(); break;
            case Kind::idle:
            case Kind::failed: sources_.dictation->beginRecording(); break;
            default: break;
        }
    });
}

void MenuBarPanel::addStatus() {
    QBoxLayout* box = nullptr;
    QWidget* status = section(this, 14, 12, &box, 10);
    MenuBarDictation& dictation = *sources_.dictation;
    const DictationController::Phase phase = dictation.phase();
    auto cancel = [this] { closeThen([this] { sources_.dictation->cancel(); }); };
    switch (phase.kind) {
        case Kind::capturing:
        case Kind::recording:
        case Kind::paused: {
            const bool paused = phase.kind == Kind::paused;
            QHBoxLayout* line = marginlessRow(6);
            line->addWidget(new Dot(paused ? theme_.secondary() : theme_.red(), status));
            line->addWidget(textLabel(paused ? QStringLiteral("En pausa") : QStringLiteral("Grabando"),
                                      Fonts::menuProminent(), theme_.primary(), false, status));
            line->addStretch(1);
            clock_ = textLabel(clockText(), Fonts::menuItem(), theme_.secondary(), false, status);
            line->addWidget(clock_);
            box->addLayout(line);
            QHBoxLayout* buttons = marginlessRow(8);
            buttons->addWidget(smallButton(QStringLiteral("Terminar"), true, theme_, [this] { primaryAction(); }, status));
            if (paused) {
                // Resuming keeps the window open.
                buttons->addWidget(smallButton(QStringLiteral("Reanudar"), false, theme_,
                                               [this] { sources_.dictation->resume(); }, status));
            }
            buttons->addWidget(smallButton(QStringLiteral("Cancelar"), false, theme_, cancel, status));
            buttons->addStretch(1);
            box->addLayout(buttons);
            break;
        }
        case Kind::transcribing:
        case Kind::writing: {
            QHBoxLayout* line = marginlessRow(8);
            line->addWidget(new Spinner(theme_, animated_, status));
            line->addWidget(textLabel(QStringLiteral("Redactando\u2026"), Fonts::menuItem(), theme_.primary(), false,
                                      status));
            line->addStretch(1);
            box->addLayout(line);
            QHBoxLayout* buttons = marginlessRow(8);
            buttons->addWidget(smallButton(QStringLiteral("Cancelar"), false, theme_, cancel, status));
            buttons->addStretch(1);
            box->addLayout(buttons);
            break;
        }
        case Kind::failed: {
            box->addWidget(headline(qs(phase.message), QStringLiteral("Lo que dictaste no se ha perdido.")));
            if (dictation.canRetry()) {
                QHBoxLayout* buttons = marginlessRow(8);
                buttons->addWidget(smallButton(QStringLiteral("Reintentar"), true, theme_,
                                               [this] { closeThen([this] { sources_.dictation->retry(); }); },
                                               status));
                buttons->addStretch(1);
                box->addLayout(buttons);
            }
            break;
        }
        case Kind::idle: {
            const Transcriber::State model = dictation.model();
            if (model.kind == Transcriber::State::Kind::failed) {
                box->addWidget(headline(QStringLiteral("La voz no se ha podido cargar"), qs(model.message)));
            } else {
                QHBoxLayout* line = marginlessRow(8);
                line->addWidget(new Spinner(theme_, animated_, status), 0, Qt::AlignVCenter);
                line->addWidget(headline(QStringLiteral("Preparando la voz"), qs(ModelStatus::text(model))), 1);
                box->addLayout(line);
            }
            break;
        }
    }
    column_->addWidget(status);
}

void MenuBarPanel::addActions(const ParloxCore::DictationSession& session) {
    QBoxLayout* box = nullptr;
    QWidget* actions = section(this, 0, 4, &box);
    const platform::UUID id = session.id;
    // The controller looks the session up again by its id.
    box->addWidget(new PanelButton(
        QStringLiteral("Recuperar original"), [this, id] { closeThen([this, id] { sources_.dictation->undo(id); }); },
        theme_, actions));
    if (session.previous()) {
        box->addWidget(new PanelButton(
            QStringLiteral("Versi\u00F3n anterior"),
            [this, id] { closeThen([this, id] { sources_.dictation->revertToPrevious(id); }); }, theme_, actions));
    }
    column_->addWidget(actions);
}

void MenuBarPanel::addFooter() {
    QBoxLayout* box = nullptr;
    QWidget* footer = section(this, 0, 4, &box);
    if (sources_.keepAwake && sources_.keepAwake->isUnlocked()) {
        auto* keepAwake = new QWidget(footer);
        QHBoxLayout* line = marginlessRow(6);
        keepAwake->setLayout(line);
        line->setContentsMargins(14, 5, 14, 5);
        line->addWidget(textLabel(QStringLiteral("Despierto"), Fonts::menuItem(), theme_.primary(), false, keepAwake));
        line->addStretch(1);
        auto* toggle = new MiniSwitch(QStringLiteral("Despierto"), theme_, keepAwake);
        toggle->setChecked(sources_.keepAwake->isOn());
        connect(toggle, &QAbstractButton::clicked, this, [this, toggle = QPointer<MiniSwitch>(toggle)](bool on) {
            sources_.keepAwake->set(on);
            // A switch-on that failed announces nothing: the switch shows what is true.
            if (toggle) toggle->setChecked(sources_.keepAwake->isOn());
        });
        line->addWidget(toggle);
        box->addWidget(keepAwake);
    }
    box->addWidget(new PanelButton(QStringLiteral("Ajustes\u2026"), [this] { closeThen(actions_.openSettings); },
                                   theme_, footer));
    box->addWidget(new PanelButton(QStringLiteral("Salir de Parlox"),
                                   [this] {
                                       if (actions_.quit) actions_.quit();
                                   },
                                   theme_, footer));
    column_->addWidget(footer);
}

}  // namespace Parlox
