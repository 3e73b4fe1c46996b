#pragma once

#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace platform::process {

// One shell word: the text inside single quotes, each quote written as '\''.
std::string shellQuote(std::string_view text);

// The user's login shell: $SHELL when it names an executable file, else the
// password database entry, else /bin/sh.
std::filesystem::path userShell();

// The shell that runs login-shell commands: the user's when it speaks sh
// (sh, bash, dash, zsh, the ksh family, ash, yash, posh), else /bin/sh, whose
// login start still reads the profile. csh, tcsh and fish take neither
// `-lc` nor `command -v` as sh does.
std::filesystem::path loginShell();

struct LoginShell {
    static constexpr double defaultTimeout = 5.0;

    // Runs `command` in a login shell (`<loginShell()> -lc command`) with no input
    // and standard error discarded; the standard output, or nullopt when the
    // shell cannot start, exits non-zero, times out or is stopped. Never on
    // the main thread: a profile that waits would freeze the application, so
    // a call there answers nullopt at once.
    static std::optional<std::string> run(std::string_view command,
                                          double timeout = defaultTimeout,
                                          std::stop_token stop = {});

    // Where the login shell finds `program` (`command -v`): the last non-empty
    // line of the answer, trimmed of spaces and tabs, when it is an absolute
    // path to an executable file. Aliases and functions are refused.
    static std::optional<std::filesystem::path> lookup(std::string_view program,
                                                       double timeout = defaultTimeout,
                                                       std::stop_token stop = {});
};

}  // namespace platform::process
