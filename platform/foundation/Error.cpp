#include "platform/foundation/Error.hpp"

#include <new>

namespace platform {

// The cached text belongs to each object; a copy computes its own.
Error::Error(const Error&) : std::exception() {}

Error& Error::operator=(const Error&) {
    // The derived part now describes another error: forget the cached text.
    // (Assignment is never concurrent with what() on the same object.)
    whatOnce_.~once_flag();
    new (&whatOnce_) std::once_flag();
    what_.clear();
    return *this;
}

const char* Error::what() const noexcept {
    try {
        std::call_once(whatOnce_, [this] { what_ = description(); });
    } catch (...) {
        return "error";
    }
    return what_.c_str();
}

std::string plainDescription(const std::exception& error) {
    if (auto* ours = dynamic_cast<const Error*>(&error)) return ours->description();
    return error.what();
}

std::string localizedDescription(const std::exception& error) {
    if (auto* ours = dynamic_cast<const Error*>(&error)) return ours->localizedDescription();
    return error.what();
}

std::string localizedDescription(std::exception_ptr error) {
    if (!error) return "";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& caught) {
        return localizedDescription(caught);
    } catch (...) {
        return "Error";
    }
}

}  // namespace platform
