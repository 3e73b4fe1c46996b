#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform::process {

// The executable file `name` in the first folder of `searchPath` (folders
// separated by colons, as PATH writes them) that holds one.
std::optional<std::filesystem::path> findExecutable(const std::string& name, const std::string& searchPath);

// The program a command names, as a launcher finds it: a name holding "/"
// is the executable file at that path; any other is looked up as above in
// this process's PATH, or in the system's folders when it has none.
std::optional<std::filesystem::path> findExecutable(const std::string& name);

// This process's PATH, or the system's folders when it has none.
std::string executableSearchPath();

}  // namespace platform::process
