#pragma once

#include <string>

#include "platform/foundation/Error.hpp"

namespace platform::desktop {

// A desktop service refused or failed an operation (a screenshot that cannot
// be taken or stored, a login item that cannot be written, a keep-awake
// request the session refuses). Carries the service's own explanation.
class DesktopError : public platform::Error {
public:
    enum class Kind { unavailable, refused, failed, fileWriteFailed };

    DesktopError(Kind kind, std::string detail) : kind_(kind), detail_(std::move(detail)) {}

    Kind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }
    std::string description() const override;

private:
    Kind kind_;
    std::string detail_;
};

}  // namespace platform::desktop
