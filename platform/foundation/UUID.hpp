#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A random (version 4) 128-bit identifier. A default-constructed UUID is a
// fresh random one, as a new identity should be.
class UUID {
public:
    using Bytes = std::array<uint8_t, 16>;

    UUID();
    explicit UUID(const Bytes& bytes) : bytes_(bytes) {}

    // Accepts the 8-4-4-4-12 hexadecimal form in either case.
    static std::optional<UUID> fromString(std::string_view text);

    // Uppercase 8-4-4-4-12, e.g. "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
    std::string uuidString() const;
    const Bytes& bytes() const { return bytes_; }

    friend bool operator==(const UUID&, const UUID&) = default;
    friend auto operator<=>(const UUID&, const UUID&) = default;

private:
    Bytes bytes_{};
};

// Fills the buffer from the kernel's random source.
void randomBytes(void* buffer, size_t size);

}  // namespace platform

template <>
struct std::hash<platform::UUID> {
    size_t operator()(const platform::UUID& id) const noexcept;
};
