#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

namespace ParloxCore {

// A writing tool's sign-in state, and the probes that ask the tool for it.
struct AccountStatus {
    enum class Kind { planWithoutAccess, loggedIn, loggedOut, unknown };

    Kind kind = Kind::unknown;
    std::string plan;  // planWithoutAccess only, lower case

    static AccountStatus planWithoutAccess(std::string plan) { return {Kind::planWithoutAccess, std::move(plan)}; }
    static AccountStatus loggedIn() { return {Kind::loggedIn, {}}; }
    static AccountStatus loggedOut() { return {Kind::loggedOut, {}}; }
    static AccountStatus unknown() { return {Kind::unknown, {}}; }

    friend bool operator==(const AccountStatus&, const AccountStatus&) = default;

    static constexpr double probeTimeout = 10.0;

    // "login status" / "auth status --json"; every failure is unknown.
    static AccountStatus codex(const std::filesystem::path& executable, double timeout = probeTimeout,
                               std::stop_token stop = {});
    static AccountStatus claude(const std::filesystem::path& executable, double timeout = probeTimeout,
                                std::stop_token stop = {});

    static AccountStatus parseCodex(int32_t exitCode, const std::string& output);
    static AccountStatus parseClaude(const std::string& output);

private:
    static std::optional<std::pair<int32_t, std::string>> run(const std::filesystem::path& executable,
                                                              const std::vector<std::string>& arguments,
                                                              double timeout, std::stop_token stop);
};

}  // namespace ParloxCore
