#pragma once

#include <QTimer>
#include <QWidget>

#include "app/Interface/PermissionBadge.hpp"
#include "app/Interface/WindowPermissions.hpp"
#include "app/Interface/WindowServices.hpp"
#include "app/Overlay/Theme.hpp"

class QLabel;

namespace Parlox {


// The "Requisitos" tab: the microphone, the accessibility and the window
// picture, each with what it checks, its state and what the user can do.
// It keeps no copy of the states: it reads them every 1.5 s and after each
// request.
class PermissionSettings : public QWidget {
    Q_OBJECT
public:
    static constexpr int refreshMilliseconds = 1500;

    PermissionSettings(const WindowServices& services, const Theme& theme, QWidget* parent = nullptr);

    // Reads the three rows again and shows them.
    void refresh();
    int refreshCount() const { return refreshCount_; }
    const QTimer& refreshTimer() const { return timer_; }

private:
    WindowPermissions permissions_;
    Theme theme_;
    int refreshCount_ = 0;
    QTimer timer_;
    PermissionRowParts microphone_;
    PermissionRowParts accessibility_;
    PermissionRowParts screen_;
    QLabel* pasteNote_ = nullptr;
};

}  // namespace Parlox
