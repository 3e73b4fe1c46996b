#pragma once

#include <QTimer>
#include <QWidget>

#include "app/Interface/WindowPermissions.hpp"
#include "app/Interface/WindowServices.hpp"
#include "app/Overlay/Theme.hpp"

class QLabel;

namespace Parlox {

class PermissionBadge;

// The "Permisos" tab: the microphone, Accessibility and screen recording,
// each with its state and the action that fits it. It keeps no copy of the
// states: it reads them every 1.5 s and after each request.
class PermissionSettings : public QWidget {
    Q_OBJECT
public:
    static constexpr int refreshMilliseconds = 1500;

    PermissionSettings(const WindowServices& services, const Theme& theme, QWidget* parent = nullptr);

    // Reads the three permissions again and shows them.
    void refresh();
    int refreshCount() const { return refreshCount_; }
    const QTimer& refreshTimer() const { return timer_; }

private:
    WindowPermissions permissions_;
    Theme theme_;
    int refreshCount_ = 0;
    QTimer timer_;
    PermissionBadge* microphone_ = nullptr;
    PermissionBadge* accessibility_ = nullptr;
    PermissionBadge* screen_ = nullptr;
    QLabel* pasteNote_ = nullptr;
};

}  // namespace Parlox
