#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "writing/AccountStatus.hpp"
#include "writing/LLMProvider.hpp"

namespace Parlox {

// The user's choice of outside writing tool, and the one place that turns
// the settings into a ready back-end.
class WriterProvider {
public:
    enum Value { chatGPT, claude };

    constexpr WriterProvider(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    static std::optional<WriterProvider> fromRawValue(std::string_view raw);
    std::string rawValue() const;
    // "Codex" or "Claude Code", as the log names the tool.
    std::string displayName() const;
    static constexpr std::array<Value, 2> allCases() { return {chatGPT, claude}; }

    // The stored "provider": "claude" selects Claude, anything else Codex.
    static WriterProvider stored();

    // Seconds a request may take when the setting gives none that can be used.
    static constexpr double defaultTimeout = 45;
    // `seconds` when it is a finite number above zero, else defaultTimeout.
    static double usableTimeout(double seconds);

    // A configured back-end, or the back-end's notInstalled error. Its
    // time-out is usableTimeout(timeout). Locating may run the login shell:
    // call it off the main thread.
    static std::unique_ptr<ParloxCore::LLMProvider> current(WriterProvider provider, double timeout);

    std::optional<std::filesystem::path> executable() const;
    ParloxCore::AccountStatus accountStatus() const;

    // What the outside steps below give back when nothing could be opened
    // (no terminal emulator, no browser opener): the step to take by hand,
    // in the user's words. Nothing when the step opened.
    using ByHand = std::optional<std::string>;

    // Starts the tool's installation and returns at once: Claude Code's
    // installer followed by its sign-in in a terminal window; for Codex, its
    // installation page in the browser.
    ByHand openInstall() const;
    // The shell line that installs Claude Code and then signs in.
    static std::string claudeInstallCommand();
    static const std::string codexInstallPage;
    // The page on which a Claude account's plan is upgraded.
    static const std::string claudeUpgradePage;

    // Starts a sign-in in a terminal window; nothing happens when the tool is not found.
    ByHand openLogin() const;
    // The sign-in command for the tool at `executable`, its path quoted for the shell.
    std::string loginCommand(const std::filesystem::path& executable) const;

    // The line the command line prints before a generation.
    static std::string describeCurrent();

    // The script a terminal runs for an install or a sign-in; it titles the
    // terminal's window with `title`.
    static std::string terminalScript(const std::string& title, const std::string& command);
    // Writes the script and opens it in a terminal; failures go to the log.
    struct TerminalRun {
        std::optional<std::filesystem::path> script;  // when it was written
        ByHand byHand;                                // when no terminal opened
    };
    static TerminalRun runInTerminal(const std::string& title, const std::string& command);

    // Where scripts are opened; the terminal emulator unless replaced (tests).
    using TerminalOpener = std::function<void(const std::filesystem::path& script)>;
    static void setTerminalOpener(TerminalOpener opener);

    // Opens a web page in the user's browser; failures go to the log.
    static ByHand openURL(const std::string& url);
    // Where pages are opened; the desktop's opener unless replaced (tests);
    // an empty opener puts the desktop's back.
    using URLOpener = std::function<void(const std::string& url)>;
    static void setURLOpener(URLOpener opener);

private:
    Value value_;
};

}  // namespace Parlox
