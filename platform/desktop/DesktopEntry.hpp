#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform::desktop {

// The desktop-entry files through which the desktop starts the application:
// its place in the application menu and its autostart at login.
struct DesktopEntry {
    // The program running now, what an entry made by it starts.
    static std::filesystem::path runningProgram();
    // A path as one argument of an Exec line.
    static std::string quoteExec(const std::string& path);
    // An Exec line that starts the program at `path` through the shell, as
    // its first argument: for a path the launcher, or `env`, would misread.
    static std::string throughShell(const std::string& path);
    // The program such a line starts, from its arguments; none for another line.
    static std::optional<std::string> startedThroughShell(const std::vector<std::string>& arguments);
    // The arguments of an Exec value as the launcher reads them (escapes and
    // quotes undone, "%%" as "%", field codes such as %f left out); none
    // when its quotes do not close.
    static std::optional<std::vector<std::string>> execArguments(const std::string& exec);
    // The value of `key` in the [Desktop Entry] group of `text`, trimmed;
    // nullopt when the group has no such key.
    static std::optional<std::string> value(const std::string& text, const std::string& key);
    // Writes `text` as the file at `path` (0644), making its folder.
    // Throws DesktopError (fileWriteFailed).
    static void write(const std::filesystem::path& path, const std::string& text);
};

}  // namespace platform::desktop
