#include "app/Interface/PermissionBadge.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/Interface/WindowParts.hpp"

namespace Parlox {
namespace {
constexpr double symbolSize = 14;
}

PermissionBadge::PermissionBadge(PermissionState state, std::function<void()> request,
                                 std::function<void()> openSettings, const Theme& theme, QWidget* parent)
    : QWidget(parent), state_(state), request_(std::move(request)), openSettings_(std::move(openSettings)),
      theme_(theme) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    rebuild();
}

void PermissionBadge::setState(PermissionState state) {
    if (state == state_) return;
    state_ = state;
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
    const auto makeButton = [this](const QString& title, const std::function<void()>& action) {
        button_ = new QPushButton(title, this);
        WindowParts::styleButton(*button_, false, theme_);
        QObject::connect(button_, &QPushButton::clicked, this, [action] {
            if (action) action();
        });
        return button_;
    };
    switch (state_) {
        case PermissionState::granted:
            layout->setSpacing(5);
            layout->addWidget(new SymbolView("checkmark.circle.fill", symbolSize, theme_.green(), 0, this));
            label_ = WindowParts::text(QStringLiteral("Concedido"), WindowParts::body(), theme_.secondary(), false, this);
            layout->addWidget(label_);
            break;
        case PermissionState::denied:
            layout->setSpacing(8);
            layout->addWidget(new SymbolView("exclamationmark.circle.fill", symbolSize, theme_.orange(), 0, this));
            label_ = WindowParts::text(QStringLiteral("Denegado"), WindowParts::body(), theme_.secondary(), false, this);
            layout->addWidget(label_);
            layout->addWidget(makeButton(QStringLiteral("Abrir Ajustes"), openSettings_));
            break;
        case PermissionState::notAsked:
        case PermissionState::unknown:
            layout->setSpacing(0);
            layout->addWidget(makeButton(QStringLiteral("Permitir"), request_));
            break;
    }
    // Pieces added to a badge on screen show at once, not on the next turn.
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) child->show();
}

}  // namespace Parlox
