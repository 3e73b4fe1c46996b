#pragma once

#include <string>

#include "platform/foundation/Error.hpp"

namespace platform::accessibility {

// Why the accessibility layer cannot be used.
class AccessibilityError final : public Error {
public:
    enum class Kind { noSessionBus, noAccessibilityBus, waylandSession, noAnswer };

    AccessibilityError(Kind kind, std::string detail) : kind_(kind), detail_(std::move(detail)) {}

    Kind kind() const { return kind_; }
    std::string description() const override;
    std::string localizedDescription() const override;

private:
    Kind kind_;
    std::string detail_;
};

}  // namespace platform::accessibility
