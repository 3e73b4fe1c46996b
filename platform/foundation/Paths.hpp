#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Where the application keeps things, after the XDG base directory rules.
// Every call reads the environment afresh, so tests point them at a temp
// root by setting HOME and the XDG variables. Relative XDG values are
// ignored, as the rules require. Nothing here creates a folder.
namespace platform {

struct Paths {
    static constexpr const char* applicationName = "Parlox";

    // $HOME, else the password database entry.
    static std::filesystem::path home();

    // A leading "~" or "~/" becomes home(); "~name" or "~name/" that account's
    // home folder from the password database, nullopt when there is no such
    // account. Any other path is returned as it is.
    static std::optional<std::string> expandingTilde(std::string_view path);

    // $XDG_CONFIG_HOME/Parlox, else ~/.config/Parlox.
    static std::filesystem::path configDirectory();
    // $XDG_CONFIG_HOME/Parlox/defaults.json.
    static std::filesystem::path defaultsFile();
    // Application support: $XDG_DATA_HOME/Parlox, else ~/.local/share/Parlox.
    static std::filesystem::path applicationSupportDirectory();
    // $XDG_STATE_HOME/Parlox/Logs, else ~/.local/state/Parlox/Logs.
    static std::filesystem::path logsDirectory();
    // $XDG_CACHE_HOME/Parlox, else ~/.cache/Parlox.
    static std::filesystem::path cachesDirectory();
    // XDG_DOCUMENTS_DIR of user-dirs.dirs, else ~/Documents.
    static std::filesystem::path documentsDirectory();
    // Private per-user temporary area: $XDG_RUNTIME_DIR, else $TMPDIR, else /tmp.
    static std::filesystem::path temporaryDirectory();
    // $XDG_CONFIG_HOME, else ~/.config (for files of other programs, e.g. autostart).
    static std::filesystem::path xdgConfigHome();
    // $XDG_DATA_HOME, else ~/.local/share (e.g. the application menu's entries).
    static std::filesystem::path xdgDataHome();
    // $XDG_CACHE_HOME, else ~/.cache (caches shared with other programs).
    static std::filesystem::path xdgCacheHome();
};

}  // namespace platform
