#include "app/Interface/WriterCheckViews.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>

#include "app/Interface/WindowParts.hpp"

namespace Parlox {

WriterCheckLine::WriterCheckLine(WriterCheck check, WriterProvider provider, const Theme& theme, QWidget* parent)
    : QWidget(parent), check_(std::move(check)), provider_(provider), theme_(theme) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    rebuild();
}

void WriterCheckLine::setCheck(WriterCheck check, WriterProvider provider) {
    if (check == check_ && provider == provider_) return;
    check_ = std::move(check);
    provider_ = provider;
    rebuild();
}

QString WriterCheckLine::answersIn(double seconds) {
    return QStringLiteral("Responde en ") + QString::fromStdString(WriterCheck::secondsText(seconds));
}

QString WriterCheckLine::text(const WriterCheck& check, WriterProvider provider) {
    const bool claude = provider == WriterProvider::claude;
    switch (check.kind) {
        case WriterCheck::Kind::idle:
            return QStringLiteral("Sin comprobar");
        case WriterCheck::Kind::running:
            return QStringLiteral("Comprobando…");
        case WriterCheck::Kind::ok:
            return answersIn(check.seconds);
        case WriterCheck::Kind::failed:
            return QString::fromStdString(check.message);
        case WriterCheck::Kind::needsInstall:
            return claude ? QStringLiteral("Falta Claude Code. «Instalar» lo hace en un terminal y luego te pide entrar.")
                          : QStringLiteral("Falta Codex, la herramienta de ChatGPT.");
        case WriterCheck::Kind::needsLogin:
            return QStringLiteral("Falta entrar con tu cuenta de ") +
                   (claude ? QStringLiteral("Claude") : QStringLiteral("ChatGPT")) +
                   QStringLiteral(". Se hace en el navegador.");
        case WriterCheck::Kind::needsPlan:
            return QStringLiteral("Claude Code no va con el plan gratuito de Claude. Hace falta Pro o Max.");
    }
    return {};
}

bool WriterCheckLine::isWarning(const WriterCheck& check) {
    return check.kind == WriterCheck::Kind::failed || check.isWaiting();
}

void WriterCheckLine::rebuild() {
    auto* layout = static_cast<QHBoxLayout*>(this->layout());
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const bool warning = isWarning(check_);
    label_ = WindowParts::text(text(check_, provider_), WindowParts::callout(),
                               warning ? theme_.orange() : theme_.secondary(), warning, this);
    if (check_.kind == WriterCheck::Kind::running) {
        layout->setSpacing(6);
        layout->addWidget(new ProgressSpinner(11, theme_, this), 0, Qt::AlignVCenter);
    } else if (check_.kind == WriterCheck::Kind::ok) {
        layout->setSpacing(5);
        layout->addWidget(new SymbolView("checkmark.circle.fill", 12, theme_.green(), 0, this), 0, Qt::AlignVCenter);
    }
    layout->addWidget(label_, warning ? 1 : 0, Qt::AlignVCenter);
    if (!warning) layout->addStretch(1);
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) child->show();
}

WriterCheckButton::WriterCheckButton(WriterCheck check, WriterProvider provider, std::function<void()> test,
                                     WriterActions actions, QWidget* parent)
    : QPushButton(parent), check_(std::move(check)), provider_(provider), test_(std::move(test)),
      actions_(std::move(actions)) {
    connect(this, &QPushButton::clicked, this, [this] { act(); });
    setCheck(check_, provider_);
}

QString WriterCheckButton::title(const WriterCheck& check) {
    switch (check.kind) {
        case WriterCheck::Kind::needsPlan:
            return QStringLiteral("Ver planes");
        case WriterCheck::Kind::needsLogin:
            return QStringLiteral("Iniciar sesión");
        case WriterCheck::Kind::needsInstall:
            return QStringLiteral("Instalar");
        default:
            return QStringLiteral("Probar");
    }
}

void WriterCheckButton::setCheck(WriterCheck check, WriterProvider provider) {
    check_ = std::move(check);
    provider_ = provider;
    setText(title(check_));
    setEnabled(check_.kind != WriterCheck::Kind::running);
}

void WriterCheckButton::act() {
    // A sign-in answers later, from its own thread's post: the button may be gone.
    const WriterActions::Tell tell = [button = QPointer<WriterCheckButton>(this)](const std::string& steps) {
        if (button) Q_EMIT button->byHandNeeded(QString::fromStdString(steps));
    };
    if (check_.isWaiting()) Q_EMIT byHandNeeded(QString());
    switch (check_.kind) {
        case WriterCheck::Kind::needsPlan:
            if (actions_.seePlans) actions_.seePlans(tell);
            break;
        case WriterCheck::Kind::needsLogin:
            if (actions_.signIn) actions_.signIn(provider_, tell);
            break;
        case WriterCheck::Kind::needsInstall:
            if (actions_.install) actions_.install(provider_, tell);
            break;
        default:
            if (test_) test_();
            break;
    }
}

}  // namespace Parlox
