#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "writing/AccountStatus.hpp"
#include "writing/LLMProvider.hpp"

namespace Parlox {

// The user's choice of outside writing tool, and the one place that turns
// the settings into a ready back-end.
class WriterProvider {
public:
    enum Value { chatGPT, claude };

    constexpr WriterProvider(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    static std::optional<WriterProvider> fromRawValue(std::string_view raw);
    std::string rawValue() const;
    static constexpr std::array<Value, 2> allCases() { return {chatGPT, claude}; }

    // The stored "provider": "claude" selects Claude, anything else Codex.
    static WriterProvider stored();

    // A configured back-end, or the back-end's notInstalled error. Locating may
    // run the login shell: call it off the main thread.
    static std::unique_ptr<ParloxCore::LLMProvider> current(WriterProvider provider, double timeout);

    std::optional<std::filesystem::path> executable() const;
    ParloxCore::AccountStatus accountStatus() const;

    // The line the command line prints before a generation.
    static std::string describeCurrent();

private:
    Value value_;
};

}  // namespace Parlox
