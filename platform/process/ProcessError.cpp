#include "platform/process/ProcessError.hpp"

#include <cstring>
#include <utility>

namespace platform::process {

ProcessError::ProcessError(Kind kind, std::string path, int errorNumber)
    : kind_(kind), path_(std::move(path)), errno_(errorNumber) {}

std::string ProcessError::description() const {
    const char* what = kind_ == Kind::launch ? "cannot launch " : "cannot set up pipes for ";
    return what + path_ + ": " + std::strerror(errno_);
}

std::string ProcessError::localizedDescription() const {
    if (kind_ == Kind::launch) {
        return "No se pudo ejecutar " + path_ + " (" + std::strerror(errno_) + ").";
    }
    return "No se pudo preparar la ejecución de " + path_ + " (" + std::strerror(errno_) + ").";
}

}  // namespace platform::process
