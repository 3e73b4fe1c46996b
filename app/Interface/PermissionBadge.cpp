#include "app/Interface/PermissionBadge.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/Interface/WindowParts.hpp"

namespace Parlox {
namespace {
constexpr double symbolSize = 14;
}

PermissionBadge::PermissionBadge(std::function<void()> request, std::function<void()> openSettings,
                                 const Theme& theme, QWidget* parent)
    : QWidget(parent), request_(std::move(request)), openSettings_(std::move(openSettings)), theme_(theme) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    rebuild();
}

void PermissionBadge::setReading(const PermissionReading& reading) {
    if (reading.state == reading_.state && reading.offersRequest == reading_.offersRequest &&
        reading.offersSettings == reading_.offersSettings)
        return;
    reading_ = reading;
    rebuild();
}

void PermissionBadge::rebuild() {
    auto* layout = static_cast<QHBoxLayout*>(this->layout());
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    button_ = nullptr;
    label_ = nullptr;
    const auto addButton = [this, layout](const QString& title, const std::function<void()>& action) {
        button_ = new QPushButton(title, this);
        WindowParts::styleButton(*button_, false, theme_);
        QObject::connect(button_, &QPushButton::clicked, this, [action] {
            if (action) action();
        });
        layout->addWidget(button_);
    };
    const auto addLabel = [this, layout](const QString& text) {
        label_ = WindowParts::text(text, WindowParts::body(), theme_.secondary(), false, this);
        layout->addWidget(label_);
    };
    const PermissionState state = reading_.state;
    const bool unasked = state == PermissionState::notAsked || state == PermissionState::unknown;
    if (state == PermissionState::granted) {
        layout->setSpacing(5);
        layout->addWidget(new SymbolView("checkmark.circle.fill", symbolSize, theme_.green(), 0, this));
        addLabel(QStringLiteral("Disponible"));
    } else if (unasked && reading_.offersRequest) {
        layout->setSpacing(0);
        addButton(QStringLiteral("Activar"), request_);
    } else if (state == PermissionState::unknown) {
        layout->setSpacing(0);
        addLabel(QStringLiteral("Sin comprobar"));
    } else {
        // The row's line says what is missing; a button that helps leaves no room for the label.
        layout->setSpacing(8);
        layout->addWidget(new SymbolView("exclamationmark.circle.fill", symbolSize, theme_.orange(), 0, this));
        if (reading_.offersSettings)
            addButton(QStringLiteral("Abrir ajustes"), openSettings_);
        else if (reading_.offersRequest)
            addButton(QStringLiteral("Activar"), request_);
        else
            addLabel(QStringLiteral("No disponible"));
    }
    // Pieces added to a badge on screen show at once, not on the next turn.
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) child->show();
}

void PermissionRowParts::show(const PermissionReading& reading) const {
    if (!badge) return;
    badge->setReading(reading);
    detail->setText(reading.detail);
}

}  // namespace Parlox
