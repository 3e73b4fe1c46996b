#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform::process {

// The program a command names, as a launcher finds it: a name holding "/"
// is the file at that path, any other the first executable file of that
// name in the folders of $PATH. None when there is no such executable file.
std::optional<std::filesystem::path> findProgram(const std::string& name);

}  // namespace platform::process
