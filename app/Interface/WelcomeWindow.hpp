#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "app/Interface/PermissionBadge.hpp"
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

// The first-run onboarding: four pages in a fixed order (what Parlox does,
// what it needs of the desktop, the writing tool, the hot key), a row of page dots and
// one forward button that Return also presses. No page blocks: "Más tarde"
// moves on like "Continuar". The permission states are read again every
// 1.5 s, when the window appears and whenever the application becomes
// active, so what the user turns on elsewhere shows at once; the texts that
// name the dictation shortcut follow it. 440 by 500 points.
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

    PermissionState microphone() const { return microphone_.state; }
    PermissionState accessibility() const { return accessibility_.state; }
    PermissionState screen() const { return screen_.state; }

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
    void updateShortcutTexts();
    void readPermissions();


    const WindowServices& services_;
    WindowPermissions permissions_;
    std::function<void()> onDone_;
    Theme theme_;
    bool pinned_ = false;
    int page_ = 0;
    PermissionReading microphone_;
    PermissionReading accessibility_;
    PermissionReading screen_;
    std::unique_ptr<WriterConnection> writers_;
    QTimer timer_;
    platform::Connection modelChanges_;
    platform::Connection shortcutChanges_;

    QStackedWidget* pages_ = nullptr;
    QPushButton* button_ = nullptr;
    PageDots* dots_ = nullptr;
    PermissionRowParts microphoneRow_;
    PermissionRowParts accessibilityRow_;
    PermissionRowParts screenRow_;
    QLabel* pasteNote_ = nullptr;
    QLabel* modelStatus_ = nullptr;
    QLabel* howTo_ = nullptr;
    QLabel* undoDetail_ = nullptr;
    QLabel* shortcutNote_ = nullptr;
    struct PlanRow {
        WriterProvider provider;
        QVBoxLayout* detail = nullptr;
        QVBoxLayout* action = nullptr;
    };
    std::vector<PlanRow> planRows_;
};

}  // namespace Parlox
