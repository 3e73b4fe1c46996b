#pragma once

#include <functional>
#include <memory>

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

namespace Parlox {

// The button that opens the menu bar panel, as the panel capture clicks it.
class StatusItem {
public:
    virtual ~StatusItem() = default;
    // Whether there is a button to click (an icon in the tray).
    virtual bool hasButton() const = 0;
    // Opens the panel when it is closed, closes it when it is open.
    virtual void performClick() = 0;
};

// The application's icon in the system tray; a click opens its panel as a
// frameless popup next to the icon (or at the pointer when the tray does not
// say where the icon is), kept as tall as its content with the edge next to
// the icon fixed.
class MenuBarExtra : public QObject, public StatusItem {
    Q_OBJECT
public:
    // `makeContent` builds the panel's content each time it opens.
    explicit MenuBarExtra(std::function<QWidget*()> makeContent, QObject* parent = nullptr);
    ~MenuBarExtra() override;

    // Whether the icon is in the tray; follows the "showsMenuBarIcon" setting.
    void setPresent(bool present);
    bool isPresent() const { return present_; }
    void setIcon(const QIcon& icon, const QString& description);
    QSystemTrayIcon& trayIcon() { return tray_; }

    bool hasButton() const override;
    void performClick() override { togglePanel(); }

    void togglePanel();
    void openPanel();
    void closePanel();
    bool isPanelOpen() const;
    // The open panel's window, or none.
    QWidget* panelWindow() const { return window_; }

    // Where the panel of this size goes for an icon at `icon` (possibly empty)
    // and the pointer at `pointer`, inside `available`.
    static QPoint placement(const QRect& icon, const QPoint& pointer, const QSize& panel, const QRect& available);

private:
    // Follows a change of the open panel's height from `oldHeight`.
    void fit(int oldHeight);
    // The icon's rectangle, or a point at the pointer when the tray does not say.
    static QRect pointerAnchor(const QRect& icon, const QPoint& pointer);

    std::function<QWidget*()> makeContent_;
    QSystemTrayIcon tray_;
    QPointer<QWidget> window_;
    bool present_ = false;
    bool growsDown_ = true;  // the panel opened below its icon
};

}  // namespace Parlox
