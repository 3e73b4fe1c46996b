#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "app/Interface/WindowPermissions.hpp"
#include "app/Interface/WindowServices.hpp"
#include "app/Interface/WriterConnection.hpp"
#include "app/Overlay/Theme.hpp"
#include "platform/concurrency/Signal.hpp"

class QLabel;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace GlobalKeyBindings {
class Recorder;
}

namespace Parlox {

class PageDots;
class PermissionBadge;

// The first-run onboarding: four pages in a fixed order (what Parlox does,
// the permissions, the writing tool, the hot key), a row of page dots and
// one forward button that Return also presses. No page blocks: "Más tarde"
// moves on like "Continuar". The permission states are read again every
// 1.5 s, when the window appears and whenever the application becomes
// active, so a permission granted elsewhere shows at once. 440 by 500 points.
class WelcomeWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 440;
    static constexpr int height = 500;
    static constexpr int refreshMilliseconds = 1500;

    // What a still image of the window shows instead of the live state.
    struct Snapshot {
        int page = 0;
        Theme theme;
        // Fixed writing-tool checks and connected tool; the page neither looks
        // nor re-checks on its own.
        std::optional<WriterConnection::Checks> checks;
        std::optional<WriterProvider> connected;
    };

    // `onDone` runs when the last page's button is pressed.
    WelcomeWindow(const WindowServices& services, std::function<void()> onDone, QWidget* parent = nullptr);
    WelcomeWindow(const WindowServices& services, std::function<void()> onDone, const Snapshot& snapshot,
                  QWidget* parent = nullptr);
    ~WelcomeWindow() override;

    int page() const { return page_; }
    // Microphone and Accessibility granted; screen recording does not count.
    bool canWork() const;
    QString buttonTitle() const;
    bool prominent() const;

    PermissionState microphone() const { return microphone_; }
    PermissionState accessibility() const { return accessibility_; }
    PermissionState screen() const { return screen_; }

    // Reads the permissions again and, on the writing-tool page, looks again
    // at the tools that wait on an installation, a sign-in or a plan.
    void refresh();
    // The bar's button: the next page, or onDone on the last one.
    void pressButton();

    // What the last page's button does.
    void setOnDone(std::function<void()> onDone) { onDone_ = std::move(onDone); }

    WriterConnection& writers() { return *writers_; }
    QPushButton* button() const { return button_; }
    const QTimer& refreshTimer() const { return timer_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build(const Snapshot& snapshot);
    QWidget* whatItIs();
    QWidget* permissions();
    QWidget* plan();
    QWidget* hotkey();
    QWidget* controls();
    QWidget* providerRow(WriterProvider provider);
    void showPage(int page, bool animated);
    void updateView();
    void updatePlanRows();
    void updateModelStatus();
    void readPermissions();

    const WindowServices& services_;
    WindowPermissions permissions_;
    std::function<void()> onDone_;
    Theme theme_;
    bool pinned_ = false;
    int page_ = 0;
    PermissionState microphone_ = PermissionState::unknown;
    PermissionState accessibility_ = PermissionState::unknown;
    PermissionState screen_ = PermissionState::unknown;
    std::unique_ptr<WriterConnection> writers_;
    QTimer timer_;
    platform::Connection modelChanges_;

    QStackedWidget* pages_ = nullptr;
    QPushButton* button_ = nullptr;
    PageDots* dots_ = nullptr;
    PermissionBadge* microphoneBadge_ = nullptr;
    PermissionBadge* accessibilityBadge_ = nullptr;
    PermissionBadge* screenBadge_ = nullptr;
    QLabel* pasteNote_ = nullptr;
    QLabel* modelStatus_ = nullptr;
    struct PlanRow {
        WriterProvider provider;
        QVBoxLayout* detail = nullptr;
        QVBoxLayout* action = nullptr;
    };
    std::vector<PlanRow> planRows_;
};

}  // namespace Parlox
