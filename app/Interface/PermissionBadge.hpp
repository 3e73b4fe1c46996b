#pragma once

#include <functional>

#include <QWidget>

#include "app/Interface/WindowPermissions.hpp"
#include "app/Overlay/Theme.hpp"

class QPushButton;
class QLabel;

namespace Parlox {

// The end of a row: there (a green check and "Disponible"), a button that
// turns it on ("Activar"), not checked ("Sin comprobar"), or missing (an
// orange mark and the button that helps, "Abrir ajustes" or "Activar", or
// "No disponible" where nothing here helps).
class PermissionBadge : public QWidget {
    Q_OBJECT
public:
    PermissionBadge(std::function<void()> request, std::function<void()> openSettings, const Theme& theme,
                    QWidget* parent = nullptr);

    PermissionState state() const { return reading_.state; }
    void setReading(const PermissionReading& reading);

    // "Activar" or "Abrir ajustes"; none when nothing is offered.
    QPushButton* button() const { return button_; }
    // "Disponible", "No disponible" or "Sin comprobar"; none while a button shows.
    QLabel* label() const { return label_; }

private:
    void rebuild();

    PermissionReading reading_;
    std::function<void()> request_;
    std::function<void()> openSettings_;
    Theme theme_;
    QPushButton* button_ = nullptr;
    QLabel* label_ = nullptr;
};

// The parts of a row that follow its reading: the line under its title and its badge.
struct PermissionRowParts {
    QLabel* detail = nullptr;
    PermissionBadge* badge = nullptr;
    void show(const PermissionReading& reading) const;
};

}  // namespace Parlox
