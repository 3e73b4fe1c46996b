#include "platform/net/Sha256.hpp"

#include <openssl/evp.h>

#include <stdexcept>

namespace platform::net {

struct Sha256::State {
    EVP_MD_CTX* ctx = nullptr;
    bool finished = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    state_->ctx = EVP_MD_CTX_new();
    if (!state_->ctx || EVP_DigestInit_ex(state_->ctx, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 unavailable");
}

Sha256::Sha256(const Sha256& other) : Sha256() { *this = other; }

Sha256& Sha256::operator=(const Sha256& other) {
    if (this != &other) {
        if (EVP_MD_CTX_copy_ex(state_->ctx, other.state_->ctx) != 1) throw std::runtime_error("SHA-256 copy failed");
        state_->finished = other.state_->finished;
    }
    return *this;
}

Sha256::~Sha256() {
    if (state_ && state_->ctx) EVP_MD_CTX_free(state_->ctx);
}

void Sha256::update(const void* data, size_t size) {
    if (state_->finished) throw std::logic_error("SHA-256 already finished");
    if (size > 0 && EVP_DigestUpdate(state_->ctx, data, size) != 1) throw std::runtime_error("SHA-256 update failed");
}

std::array<uint8_t, 32> Sha256::finish() {
    std::array<uint8_t, 32> out{};
    unsigned int len = 0;
    if (state_->finished || EVP_DigestFinal_ex(state_->ctx, out.data(), &len) != 1 || len != 32)
        throw std::runtime_error("SHA-256 finish failed");
    state_->finished = true;
    return out;
}

std::string Sha256::finishHex() { return toHex(finish()); }

std::string Sha256::toHex(const std::array<uint8_t, 32>& digest) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    s.reserve(64);
    for (uint8_t b : digest) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

std::string Sha256::hex(std::string_view data) {
    Sha256 h;
    h.update(data);
    return h.finishHex();
}

}  // namespace platform::net
