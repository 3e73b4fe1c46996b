#pragma once

#include <functional>

#include <QWidget>

#include "app/Overlay/Theme.hpp"
#include "app/System/Permissions.hpp"

class QPushButton;
class QLabel;

namespace Parlox {

// The state of one permission at the end of its row: granted (a green check
// and "Concedido"), denied (an orange mark, "Denegado" and a button to the
// desktop's settings), or a button that asks for it.
class PermissionBadge : public QWidget {
    Q_OBJECT
public:
    PermissionBadge(PermissionState state, std::function<void()> request, std::function<void()> openSettings,
                    const Theme& theme, QWidget* parent = nullptr);

    PermissionState state() const { return state_; }
    void setState(PermissionState state);

    // "Permitir" or "Abrir Ajustes"; none while granted.
    QPushButton* button() const { return button_; }
    // "Concedido" or "Denegado"; none while a request is offered.
    QLabel* label() const { return label_; }

private:
    void rebuild();

    PermissionState state_;
    std::function<void()> request_;
    std::function<void()> openSettings_;
    Theme theme_;
    QPushButton* button_ = nullptr;
    QLabel* label_ = nullptr;
};

}  // namespace Parlox
