#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace platform::net {

// Incremental SHA-256 (OpenSSL underneath).
class Sha256 {
public:
    Sha256();
    ~Sha256();
    // A copy carries on from the same bytes, independently.
    Sha256(const Sha256& other);
    Sha256& operator=(const Sha256& other);

    void update(const void* data, size_t size);
    void update(std::string_view data) { update(data.data(), data.size()); }
    std::array<uint8_t, 32> finish();
    std::string finishHex();

    static std::string hex(std::string_view data);
    static std::string toHex(const std::array<uint8_t, 32>& digest);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform::net
