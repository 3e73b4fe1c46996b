#include "platform/process/LoginShell.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "platform/concurrency/MainQueue.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Trim.hpp"
#include "platform/foundation/Unicode.hpp"
#include "platform/process/Subprocess.hpp"

namespace platform::process {

std::string shellQuote(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += "'";
    return quoted;
}

std::filesystem::path userShell() {
    if (const char* shell = std::getenv("SHELL"); shell && shell[0] == '/') {
        if (FileManager::isExecutableFile(shell)) return shell;
    }
    if (passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_shell && entry->pw_shell[0] == '/') {
        if (FileManager::isExecutableFile(entry->pw_shell)) return entry->pw_shell;
    }
    return "/bin/sh";
}

std::filesystem::path loginShell() {
    static const std::set<std::string> speakSh = {"sh",   "bash",  "dash", "zsh", "ksh", "ksh93", "mksh",
                                                  "oksh", "pdksh", "lksh", "ash", "yash", "posh"};
    std::filesystem::path shell = userShell();
    if (speakSh.count(shell.filename().string())) return shell;
    return "/bin/sh";
}

std::optional<std::string> LoginShell::run(std::string_view command, double timeout,
                                           std::stop_token stop) {
    if (MainQueue::isMainThread()) return std::nullopt;
    Options options;
    options.executable = loginShell();
    options.arguments = {"-lc", std::string(command)};
    options.output = OutputMode::capture;
    options.mergeStandardError = false;
    options.outputLimit = 1u << 20;
    options.timeout = timeout;
    options.killGrace = 1.0;
    // The answer is complete when the shell exits; jobs a profile started are not waited for.
    options.helpersMayWrite = false;
    try {
        Result result = process::run(options, stop);
        if (result.timedOut || result.cancelled || result.signaled || result.exitCode != 0) {
            return std::nullopt;
        }
        return std::move(result.output);
    } catch (const ProcessError&) {
        return std::nullopt;
    }
}

std::optional<std::filesystem::path> LoginShell::lookup(std::string_view program, double timeout,
                                                        std::stop_token stop) {
    auto output = run("command -v " + shellQuote(program), timeout, stop);
    if (!output || !isValidUtf8(*output)) return std::nullopt;
    std::string last;
    std::size_t start = 0;
    while (start <= output->size()) {
        std::size_t end = output->find('\n', start);
        if (end == std::string::npos) end = output->size();
        std::string line = output->substr(start, end - start);
        if (!line.empty()) last = line;
        start = end + 1;
    }
    const std::string path = trimmingAscii(last, kSpacesAndTabs);
    if (path.empty() || path[0] != '/') return std::nullopt;
    if (!FileManager::isExecutableFile(path)) return std::nullopt;
    return std::filesystem::path(path);
}

}  // namespace platform::process
