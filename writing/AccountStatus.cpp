#include "writing/AccountStatus.hpp"

#include <nlohmann/json.hpp>

#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Unicode.hpp"
#include "writing/ProcessRunner.hpp"
#include "writing/RequestFolder.hpp"

namespace ParloxCore {

std::optional<std::pair<int32_t, std::string>> AccountStatus::run(const std::filesystem::path& executable,
                                                                   const std::vector<std::string>& arguments,
                                                                   double timeout, std::stop_token stop) {
    try {
        RequestFolder folder("parlox-status-");
        const auto log = folder / "status.log";
        platform::FileManager::writeNewFile(log, "", 0600);
        auto status = ProcessRunner::run(executable, arguments, {}, log, folder.path(), timeout, stop);
        if (status.timedOut) return std::nullopt;
        auto text = ToolOutput::readText(log);
        return std::make_pair(status.exitCode, text.value_or(std::string()));
    } catch (...) {
        return std::nullopt;
    }
}

AccountStatus AccountStatus::codex(const std::filesystem::path& executable, double timeout, std::stop_token stop) {
    auto answer = run(executable, {"login", "status"}, timeout, stop);
    if (!answer) return unknown();
    return parseCodex(answer->first, answer->second);
}

AccountStatus AccountStatus::claude(const std::filesystem::path& executable, double timeout, std::stop_token stop) {
    auto answer = run(executable, {"auth", "status", "--json"}, timeout, stop);
    if (!answer) return unknown();
    return parseClaude(answer->second);
}

AccountStatus AccountStatus::parseCodex(int32_t exitCode, const std::string& output) {
    const std::string lower = platform::lowercased(output);
    if (lower.find("not logged in") != std::string::npos) return loggedOut();
    if (exitCode == 0 && lower.find("logged in") != std::string::npos) return loggedIn();
    return unknown();
}

AccountStatus AccountStatus::parseClaude(const std::string& output) {
    auto brace = output.find('{');
    if (brace == std::string::npos) return unknown();
    auto json = nlohmann::json::parse(output.substr(brace), nullptr, false);
    if (json.is_discarded() || !json.is_object()) return unknown();
    auto logged = json.find("loggedIn");
    if (logged == json.end() || !logged->is_boolean()) return unknown();
    if (!logged->get<bool>()) return loggedOut();
    if (auto plan = json.find("subscriptionType"); plan != json.end() && plan->is_string()) {
        if (platform::lowercased(plan->get<std::string>()) == "free") return planWithoutAccess("free");
    }
    return loggedIn();
}

}  // namespace ParloxCore
