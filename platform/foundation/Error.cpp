#include "platform/foundation/Error.hpp"

namespace platform {

// The cached text belongs to each object; a copy computes its own.
Error::Error(const Error&) : std::exception() {}

Error& Error::operator=(const Error&) { return *this; }

const char* Error::what() const noexcept {
    try {
        std::call_once(whatOnce_, [this] { what_ = description(); });
    } catch (...) {
        return "error";
    }
    return what_.c_str();
}

}  // namespace platform
