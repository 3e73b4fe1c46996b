#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/concurrency/Scheduler.hpp"

class QWidget;

namespace Parlox {

class StatusItem;

// A debug tool that photographs the menu bar panel in three states, by
// clicking the tray icon itself and grabbing the screen around the panel:
// for an output P, P without its extension followed by ".1-cargando.png"
// (just opened), ".2-reabierto.png" (closed and opened again) and
// ".3-despierto.png" (keep-awake flipped). The application keeps running.
struct PanelCapture {
    struct KeepAwakeSwitch {
        std::function<bool()> isOn;
        std::function<void(bool)> set;
    };

    // Returns at once; the clicks and captures follow on the main thread.
    static void run(const std::filesystem::path& output, StatusItem& item, KeepAwakeSwitch keepAwake,
                    std::shared_ptr<platform::Scheduler> scheduler);

    // The file of one state: "<P without extension>.<state>.png".
    static std::filesystem::path fileFor(const std::filesystem::path& output, const std::string& state);
    // The panel among the application's windows: the first visible one at
    // least 300 wide above the normal level.
    static QWidget* findPanel();
    // Stacking level of a window as the log reports it: 0 for a normal one.
    static int level(const QWidget& window);
    // Logs every visible window, then writes the screen around the panel to `file`.
    static void capture(const std::filesystem::path& file);
};

}  // namespace Parlox
