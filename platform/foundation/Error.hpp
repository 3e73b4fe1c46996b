#pragma once

#include <exception>
#include <mutex>
#include <string>

namespace platform {

// Base of every component's error: a plain description for logs and a
// user-facing text. Each component derives one class holding its case.
class Error : public std::exception {
public:
    Error() = default;
    Error(const Error& other);
    Error& operator=(const Error& other);
    ~Error() override = default;

    virtual std::string description() const = 0;
    virtual std::string localizedDescription() const { return description(); }

    const char* what() const noexcept override;

private:
    mutable std::once_flag whatOnce_;
    mutable std::string what_;
};

// The plain description of any exception, for logs: an Error's
// description(), otherwise what().
std::string plainDescription(const std::exception& error);
// The user-facing text of any exception: an Error's localizedDescription(),
// otherwise what().
std::string localizedDescription(const std::exception& error);
// The same for a caught exception of any type ("" for none, "Error" for one
// that is not a std::exception).
std::string localizedDescription(std::exception_ptr error);

}  // namespace platform
