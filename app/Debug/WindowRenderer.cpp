#include "app/Debug/WindowRenderer.hpp"

#include <cstdlib>

#include <QApplication>
#include <QMainWindow>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "app/Debug/Snapshot.hpp"
#include "app/Hotkey/HotkeyManager.hpp"
#include "app/Interface/SettingsWindow.hpp"
#include "app/Interface/WelcomeWindow.hpp"
#include "app/Interface/WritingSettings.hpp"
#include "app/Overlay/MenuBarPanel.hpp"
#include "platform/foundation/UserDefaults.hpp"
#include "platform/input/X11KeyLayout.hpp"

namespace Parlox {
namespace {

// The state of a dictation controller that has just been made.
class RestingDictation final : public MenuBarDictation {
public:
    DictationController::Phase phase() const override { return DictationController::Phase::idle(); }
    Transcriber::State model() const override { return Transcriber::State::idle(); }
    bool canRetry() const override { return false; }
    std::optional<ParloxCore::DictationSession> latestSession() const override { return std::nullopt; }
    double recordedSeconds(platform::Date) const override { return 0; }
    void beginRecording() override {}
    void finishRecording() override {}
    void resume() override {}
    void cancel() override {}
    void retry() override {}
    void undo(const platform::UUID&) override {}
    void revertToPrevious(const platform::UUID&) override {}
    platform::Signal<>& changed() override { return changed_; }

private:
    platform::Signal<> changed_;
};

// The keep-awake feature as stored: shown while "keepAwakeUnlocked" is true,
// and off, as at every launch.
class StoredKeepAwake final : public KeepAwakeSwitch {
public:
    bool isUnlocked() const override { return platform::UserDefaults::standard().boolean("keepAwakeUnlocked", false); }
    void setUnlocked(bool) override {}
    bool isOn() const override { return false; }
    void set(bool) override {}
    platform::Signal<>& changed() override { return changed_; }

private:
    platform::Signal<> changed_;
};

// Stills take no hot keys.
class NoHotKeys final : public platform::input::HotKeyService {
public:
    void setEventHandler(EventHandler) override {}
    platform::input::RegistrationResult registerHotKey(std::uint32_t, int, int) override {
        return {platform::input::RegistrationStatus::unavailable, "rendering"};
    }
    void unregisterHotKey(std::uint32_t) override {}
    platform::input::KeyRepeat keyRepeat() const override { return {}; }
};

// Stills never check a writing tool; the tool's place is looked up at once.
class StillChecks final : public WriterChecker {
public:
    void setup(WriterProvider, SetupDone) override {}
    void run(WriterProvider, RunDone) override {}
    void locate(WriterProvider provider, LocateDone done) override { done(WritingSettings::toolPath(provider)); }
};

// The hot-key module, for the recorders' text, unless the application has it already.
class KeyBindingsForStills {
public:
    KeyBindingsForStills() {
        if (GlobalKeyBindings::isInstalled()) return;
        std::shared_ptr<platform::input::KeyLayout> layout;
        if (std::getenv("DISPLAY")) {
            try {
                layout = std::make_shared<platform::input::X11KeyLayout>();
            } catch (const std::exception&) {
                // Without the server's layout, letter keys have no name.
            }
        }
        GlobalKeyBindings::install({platform::UserDefaults::standardShared(), std::make_shared<NoHotKeys>(), layout,
                                    nullptr});
        GlobalKeyBindings::declare(HotkeyManager::toggleRecording());
        installed_ = true;
    }
    ~KeyBindingsForStills() {
        if (installed_) GlobalKeyBindings::uninstall();
    }

private:
    bool installed_ = false;
};

// Lays the window out off screen and writes the picture of `content`, a part of it.
void write(QWidget& window, QWidget& content, const std::filesystem::path& folder, const std::string& name,
           const Theme& theme, const std::function<void(const std::string&)>& print) {
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    QApplication::processEvents();
    const QByteArray png = Snapshot::png(Snapshot::render(content, 1, theme.palette().color(QPalette::Window)));
    window.hide();
    if (png.isEmpty()) return;
    const std::string file = name + "-" + Snapshot::suffix(theme) + ".png";
    Snapshot::write(png, folder / file);
    print(file);
}

}  // namespace

const std::vector<WindowRenderer::Situation>& WindowRenderer::situations() {
    constexpr WriterProvider chatGPT = WriterProvider::chatGPT;
    constexpr WriterProvider claude = WriterProvider::claude;
    static const std::vector<Situation> table = {
        {"idle", {{chatGPT, WriterCheck::idle()}, {claude, WriterCheck::idle()}}, std::nullopt},
        {"chatgpt-ok", {{chatGPT, WriterCheck::ok(3.3)}, {claude, WriterCheck::idle()}}, chatGPT},
        {"ambos-ok", {{chatGPT, WriterCheck::ok(3.3)}, {claude, WriterCheck::ok(2.6)}}, claude},
        {"claude-login", {{chatGPT, WriterCheck::ok(3.3)}, {claude, WriterCheck::needsLogin()}}, chatGPT},
        {"claude-instalar", {{chatGPT, WriterCheck::needsInstall()}, {claude, WriterCheck::needsInstall()}},
         std::nullopt},
        {"claude-plan", {{chatGPT, WriterCheck::running()}, {claude, WriterCheck::needsPlan()}}, std::nullopt},
    };
    return table;
}

void WindowRenderer::render(const std::filesystem::path& folder, const std::function<void(const std::string&)>& print,
                            const WindowServices& services) {
    Snapshot::prepareFolder(folder);
    KeyBindingsForStills keyBindings;
    StoredKeepAwake storedKeepAwake;
    WindowServices stills = services;
    if (!stills.keepAwake) stills.keepAwake = &storedKeepAwake;
    stills.writerChecker = std::make_shared<StillChecks>();
    RestingDictation dictation;

    for (const Theme theme : {Theme::light(), Theme::darkScheme()}) {
        for (int page = 0; page < 4; ++page) {
            // The writing-tool page shows the tools unchecked rather than start checking them.
            WelcomeWindow::Snapshot shot{page, theme, std::nullopt, std::nullopt};
            if (page == 2) shot.checks = WriterConnection::Checks{};
            WelcomeWindow window(stills, {}, shot);
            write(window, window, folder, "bienvenida-" + std::to_string(page), theme, print);
        }
        for (const Situation& situation : situations()) {
            WelcomeWindow window(stills, {}, WelcomeWindow::Snapshot{2, theme, situation.checks, situation.connected});
            write(window, window, folder, "plan-" + situation.name, theme, print);
        }
        {
            MenuBarPanel::Sources sources;
            sources.dictation = &dictation;
            sources.keepAwake = stills.keepAwake;
            sources.updater = stills.updater;
            sources.audio = stills.audio;
            sources.accessibility = stills.accessibility;
            MenuBarPanel panel(sources, {}, theme, false);
            // The panel's own width; its height is what that width needs.
            panel.adjustSize();
            const int height = panel.heightForWidth(MenuBarPanel::width);
            panel.resize(MenuBarPanel::width, height > 0 ? height : panel.height());
            write(panel, panel, folder, "menu", theme, print);
        }
        for (SettingsTab tab : SettingsTab::allCases()) {
            SettingsTabs tabs;
            tabs.setTab(tab);
            SettingsToolbar toolbar;
            std::unique_ptr<QMainWindow> window(SettingsWindow::makeWindow(stills, tabs, toolbar, theme));
            write(*window, *window->centralWidget(), folder, "ajustes-" + tab.rawValue(), theme, print);
        }
    }
}

void WindowRenderer::render(const std::filesystem::path& folder,
                            const std::function<void(const std::string&)>& print) {
    render(folder, print, WindowServices{});
}

}  // namespace Parlox
