#include "app/Interface/PermissionSettings.hpp"

#include <QLabel>
#include <QVBoxLayout>

#include "app/Interface/PermissionBadge.hpp"
#include "app/Interface/SettingsForm.hpp"
#include "app/Interface/WindowParts.hpp"

namespace Parlox {

PermissionSettings::PermissionSettings(const WindowServices& services, const Theme& theme, QWidget* parent)
    : QWidget(parent), permissions_(services), theme_(theme) {
    auto* form = new SettingsForm(theme, this);
    WindowParts::column(0, this)->addWidget(form);

    const auto row = [this](FormSection* section, const char* symbol, const QString& title, const char* anchor,
                            std::function<void()> request) {
        auto* box = new QWidget();
        auto* layout = WindowParts::row(12, box);
        layout->setContentsMargins(0, 4, 0, 4);
        layout->addWidget(new SymbolView(symbol, 17, theme_.secondary(), 24, box), 0, Qt::AlignVCenter);
        auto* words = new QWidget(box);
        auto* wordsLayout = WindowParts::column(2, words);
        wordsLayout->addWidget(WindowParts::text(title, WindowParts::body(), theme_.primary(), false, words));
        PermissionRowParts shown;
        shown.detail = WindowParts::footnote(QString(), theme_, words);
        wordsLayout->addWidget(shown.detail);
        layout->addWidget(words, 1);
        shown.badge = new PermissionBadge(
            std::move(request), permissions_.settingsOpener(anchor, this), theme_, box);
        layout->addWidget(shown.badge, 0, Qt::AlignVCenter);
        section->addRow(box);
        return shown;
    };

    FormSection* needed = form->addSection(QString());
    microphone_ = row(needed, "mic", QStringLiteral("Micrófono"), WindowPermissions::microphoneAnchor, {});
    accessibility_ = row(needed, "accessibility", QStringLiteral("Accesibilidad"),
                         WindowPermissions::accessibilityAnchor, [this] {
                             permissions_.requestAccessibility();
                             refresh();
                         });
    pasteNote_ =
        needed->setFooter(QStringLiteral("Sin Accesibilidad Parlox no puede pegar: te deja el texto en el portapapeles."));

    FormSection* recommended = form->addSection(QStringLiteral("Recomendado"));
    screen_ = row(recommended, "macwindow", QStringLiteral("Captura de ventana"), nullptr, [this] {
        permissions_.allowWindowPicture();
        refresh();
    });

    timer_.setInterval(refreshMilliseconds);
    connect(&timer_, &QTimer::timeout, this, &PermissionSettings::refresh);
    timer_.start();
    refresh();
}

void PermissionSettings::refresh() {
    ++refreshCount_;
    microphone_.show(permissions_.readMicrophone());
    const PermissionReading accessibility = permissions_.readAccessibility();
    accessibility_.show(accessibility);
    pasteNote_->setVisible(accessibility.state != PermissionState::granted);
    screen_.show(permissions_.readWindowPicture());
}

}  // namespace Parlox
