#include "app/Interface/WriterCheck.hpp"

#include "app/Support/Log.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "writing/ClaudeCodeProvider.hpp"
#include "writing/CodexProvider.hpp"

namespace Parlox {
namespace {

using ParloxCore::AccountStatus;
using ParloxCore::ClaudeCodeProvider;
using ParloxCore::CodexProvider;

class InstalledTools final : public WriterTools {
public:
    std::optional<std::filesystem::path> executable(WriterProvider provider) override {
        return provider.executable();
    }
    AccountStatus accountStatus(WriterProvider provider, std::stop_token stop) override {
        const auto path = provider.executable();
        if (!path) return AccountStatus::unknown();
        return provider == WriterProvider::claude ? AccountStatus::claude(*path, AccountStatus::probeTimeout, stop)
                                                  : AccountStatus::codex(*path, AccountStatus::probeTimeout, stop);
    }
    double test(WriterProvider provider, double timeout, std::stop_token stop) override {
        const auto tool = WriterProvider::current(provider, timeout);
        if (const auto* codex = dynamic_cast<const CodexProvider*>(tool.get())) return codex->check(stop);
        return dynamic_cast<const ClaudeCodeProvider&>(*tool).check(stop);
    }
};

bool isMissingSignIn(const std::exception& error) {
    if (const auto* codex = dynamic_cast<const CodexProvider::CodexError*>(&error))
        return codex->kind() == CodexProvider::CodexError::Kind::notLoggedIn;
    if (const auto* claude = dynamic_cast<const ClaudeCodeProvider::ClaudeError*>(&error))
        return claude->kind() == ClaudeCodeProvider::ClaudeError::Kind::notLoggedIn;
    return false;
}

}  // namespace

bool operator==(const WriterCheck& a, const WriterCheck& b) {
    if (a.kind != b.kind) return false;
    if (a.kind == WriterCheck::Kind::ok) return a.seconds == b.seconds;
    if (a.kind == WriterCheck::Kind::failed) return a.message == b.message;
    return true;
}

std::string WriterCheck::secondsText(double seconds) {
    std::string text = platform::formatFixed(seconds, 1);
    for (char& c : text)
        if (c == '.') c = ',';
    return text + " s";
}

std::optional<WriterCheck> WriterCheck::setup(WriterProvider provider, std::stop_token stop) {
    return setup(WriterTools::installed(), provider, stop);
}

std::optional<WriterCheck> WriterCheck::setup(WriterTools& tools, WriterProvider provider, std::stop_token stop) {
    if (!tools.executable(provider)) return needsInstall();
    const AccountStatus status = tools.accountStatus(provider, stop);
    switch (status.kind) {
        case AccountStatus::Kind::loggedOut:
            return needsLogin();
        case AccountStatus::Kind::planWithoutAccess:
            return needsPlan();
        case AccountStatus::Kind::loggedIn:
        case AccountStatus::Kind::unknown:
            break;
    }
    return std::nullopt;
}

WriterCheck WriterCheck::run(WriterProvider provider, std::stop_token stop) {
    return run(WriterTools::installed(), provider, stop);
}

WriterCheck WriterCheck::run(WriterTools& tools, WriterProvider provider, std::stop_token stop) {
    if (auto waiting = setup(tools, provider, stop)) return *waiting;
    const std::string prefix = "Prueba de " + provider.displayName() + ": ";
    try {
        const double seconds = tools.test(provider, testTimeout, stop);
        Log::info(prefix + platform::formatFixed(seconds, 1) + " s");
        return ok(seconds);
    } catch (const std::exception& error) {
        Log::error(prefix + platform::localizedDescription(error));
        if (isMissingSignIn(error)) return needsLogin();
        return failed(platform::localizedDescription(error));
    }
}

WriterTools& WriterTools::installed() {
    static InstalledTools tools;
    return tools;
}

}  // namespace Parlox
