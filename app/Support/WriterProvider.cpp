#include "app/Support/WriterProvider.hpp"

#include <cmath>
#include <mutex>

#include "app/Support/Log.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/foundation/UUID.hpp"
#include "platform/process/DesktopOpener.hpp"
#include "platform/process/LoginShell.hpp"
#include "platform/process/Subprocess.hpp"
#include "platform/process/Terminal.hpp"
#include "platform/foundation/Trim.hpp"
#include "platform/foundation/UserDefaults.hpp"
#include "writing/ClaudeCodeLocator.hpp"
#include "writing/ClaudeCodeProvider.hpp"
#include "writing/CodexLocator.hpp"
#include "writing/CodexProvider.hpp"

namespace Parlox {
namespace {

using ParloxCore::ClaudeCodeLocator;
using ParloxCore::ClaudeCodeProvider;
using ParloxCore::CodexLocator;
using ParloxCore::CodexProvider;

std::optional<std::string> setting(const char* key) { return platform::UserDefaults::standard().string(key); }

std::string settingOr(const char* key, const std::string& fallback) { return setting(key).value_or(fallback); }

std::string effort() { return settingOr("codexEffort", "low"); }

std::mutex openerMutex;
WriterProvider::TerminalOpener& opener() {
    static WriterProvider::TerminalOpener current = [](const std::filesystem::path& script) {
        platform::process::openInTerminal(script);
    };
    return current;
}

WriterProvider::URLOpener& urlOpener() {
    static WriterProvider::URLOpener current = platform::process::openWithDesktop;
    return current;
}

template <class Opener>
Opener copyOf(Opener& opener) {
    std::lock_guard lock(openerMutex);
    return opener;
}

}  // namespace

std::optional<WriterProvider> WriterProvider::fromRawValue(std::string_view raw) {
    if (raw == "chatgpt") return WriterProvider(chatGPT);
    if (raw == "claude") return WriterProvider(claude);
    return std::nullopt;
}

std::string WriterProvider::rawValue() const { return value_ == claude ? "claude" : "chatgpt"; }

std::string WriterProvider::displayName() const { return value_ == claude ? "Claude Code" : "Codex"; }

WriterProvider WriterProvider::stored() {
    return setting("provider") == std::optional<std::string>("claude") ? claude : chatGPT;
}

double WriterProvider::usableTimeout(double seconds) {
    return std::isfinite(seconds) && seconds > 0 ? seconds : defaultTimeout;
}

std::unique_ptr<ParloxCore::LLMProvider> WriterProvider::current(WriterProvider provider, double requested) {
    // Whatever the caller passes, the tool always runs against a limit.
    const double timeout = usableTimeout(requested);
    if (provider == claude) {
        auto found = ClaudeCodeLocator::locate(platform::Paths::home());
        if (!found) throw ClaudeCodeProvider::ClaudeError::notInstalled("el PATH");
        return std::make_unique<ClaudeCodeProvider>(ClaudeCodeProvider::Configuration{
            *found, settingOr("claudeModel", ClaudeCodeProvider::defaultModel), effort(), timeout});
    }
    const auto path = setting("codexPath");
    auto found = CodexLocator::locate(path);
    if (!found) {
        // A blank path was not used for the search, so it must not be named as the place looked at.
        const bool named = path && !platform::trimmingWhitespaceAndNewlines(*path).empty();
        throw CodexProvider::CodexError::notInstalled(named ? *path : "el PATH");
    }
    return std::make_unique<CodexProvider>(CodexProvider::Configuration{
        *found, settingOr("codexModel", CodexProvider::defaultModel), effort(), timeout});
}

std::optional<std::filesystem::path> WriterProvider::executable() const {
    if (value_ == claude) return ClaudeCodeLocator::locate(platform::Paths::home());
    return CodexLocator::locate(setting("codexPath"));
}

ParloxCore::AccountStatus WriterProvider::accountStatus() const {
    auto path = executable();
    if (!path) return ParloxCore::AccountStatus::unknown();
    return value_ == claude ? ParloxCore::AccountStatus::claude(*path) : ParloxCore::AccountStatus::codex(*path);
}

std::string WriterProvider::describeCurrent() {
    const WriterProvider provider = stored();
    auto path = provider.executable();
    const std::string where = path ? path->string() : "no encontrado";
    if (provider == claude) {
        return "claude: " + where + " \u00B7 " + settingOr("claudeModel", ClaudeCodeProvider::defaultModel) +
               ", esfuerzo " + effort();
    }
    return "codex: " + where + " \u00B7 " + settingOr("codexModel", CodexProvider::defaultModel) + ", esfuerzo " +
           effort();
}

std::string WriterProvider::loginCommand(const std::filesystem::path& executable) const {
    const std::string quoted = platform::process::shellQuote(executable.string());
    return value_ == claude ? quoted + " auth login --claudeai" : quoted + " login";
}

const std::string WriterProvider::codexInstallPage = "https://github.com/openai/codex";
const std::string WriterProvider::claudeUpgradePage = "https://claude.ai/upgrade";

std::string WriterProvider::claudeInstallCommand() {
    return "curl -fsSL https://claude.ai/install.sh | bash && \"$HOME/.local/bin/claude\" auth login --claudeai";
}

WriterProvider::ByHand WriterProvider::openInstall() const {
    if (value_ == claude) return runInTerminal("Instalar Claude Code", claudeInstallCommand()).byHand;
    return openURL(codexInstallPage);
}

WriterProvider::ByHand WriterProvider::openURL(const std::string& url) {
    try {
        copyOf(urlOpener())(url);
        return std::nullopt;
    } catch (const platform::Error& error) {
        Log::error("No pude abrir el navegador: " + error.localizedDescription());
    } catch (const std::exception& error) {
        Log::error(std::string("No pude abrir el navegador: ") + error.what());
    }
    return "No pude abrir el navegador. Abre tú esta dirección: " + url;
}

void WriterProvider::setURLOpener(URLOpener newOpener) {
    std::lock_guard lock(openerMutex);
    urlOpener() = newOpener ? std::move(newOpener) : WriterProvider::URLOpener(platform::process::openWithDesktop);
}

WriterProvider::ByHand WriterProvider::openLogin() const {
    auto path = executable();
    if (!path) return std::nullopt;
    return runInTerminal(std::string("Iniciar sesión en ") + (value_ == claude ? "Claude" : "ChatGPT"),
                         loginCommand(*path))
        .byHand;
}

std::string WriterProvider::terminalScript(const std::string& title, const std::string& command) {
    return "#!/bin/sh\n"
           "clear\n"
           // The terminal's window title, set the way every terminal emulator understands.
           "printf '\\033]0;%s\\007' " + platform::process::shellQuote(title) + "\n"
           "echo \"Parlox \u00B7 " + title + "\"\n"
           "echo \"Se abrirá el navegador. Si te pide un código, cópialo aquí.\"\n"
           "echo\n" +
           command + "\n"
           "echo\n"
           "echo \"Listo. Puedes cerrar esta ventana y volver a Parlox.\"\n"
           // A terminal here closes with its script; wait so the last lines can be read.
           "read -r _";
}

WriterProvider::TerminalRun WriterProvider::runInTerminal(const std::string& title, const std::string& command) {
    const auto script =
        platform::Paths::temporaryDirectory() / ("parlox-" + platform::UUID().uuidString() + ".sh");
    try {
        platform::FileManager::writeAtomically(script, terminalScript(title, command), 0700);
        copyOf(opener())(script);
        return {script, std::nullopt};
    } catch (const platform::Error& error) {
        Log::error("No pude abrir la Terminal: " + error.localizedDescription());
    } catch (const std::exception& error) {
        Log::error(std::string("No pude abrir la Terminal: ") + error.what());
    }
    return {platform::FileManager::fileExists(script) ? std::optional<std::filesystem::path>(script) : std::nullopt,
            "No pude abrir un terminal. Abre uno tú y escribe: " + command};
}

void WriterProvider::setTerminalOpener(TerminalOpener newOpener) {
    std::lock_guard lock(openerMutex);
    opener() = std::move(newOpener);
}

}  // namespace Parlox
