#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "app/Support/WriterProvider.hpp"
#include "writing/AccountStatus.hpp"

namespace Parlox {

class WriterTools;

// Whether a writing tool can be used now and, when it cannot, what the user
// has to do: install it, sign in, or change plan.
struct WriterCheck {
    enum class Kind { ok, failed, idle, running, needsInstall, needsLogin, needsPlan };

    Kind kind = Kind::idle;
    double seconds = 0;   // ok: how long the test request took
    std::string message;  // failed: what the user is shown

    static WriterCheck ok(double seconds) { return {Kind::ok, seconds, {}}; }
    static WriterCheck failed(std::string message) { return {Kind::failed, 0, std::move(message)}; }
    static WriterCheck idle() { return {Kind::idle, 0, {}}; }
    static WriterCheck running() { return {Kind::running, 0, {}}; }
    static WriterCheck needsInstall() { return {Kind::needsInstall, 0, {}}; }
    static WriterCheck needsLogin() { return {Kind::needsLogin, 0, {}}; }
    static WriterCheck needsPlan() { return {Kind::needsPlan, 0, {}}; }

    // Install, sign-in or plan: something outside the window has to happen.
    bool isWaiting() const {
        return kind == Kind::needsInstall || kind == Kind::needsLogin || kind == Kind::needsPlan;
    }

    // By case and payload: two ok values only with equal seconds, two failed
    // values only with equal messages.
    friend bool operator==(const WriterCheck& a, const WriterCheck& b);

    // The quick look, no request sent: needsInstall, needsLogin, needsPlan,
    // or nothing when the tool is ready. Blocks while the account probe runs.
    static std::optional<WriterCheck> setup(WriterProvider provider, std::stop_token stop = {});
    static std::optional<WriterCheck> setup(WriterTools& tools, WriterProvider provider, std::stop_token stop = {});
    // The quick look, then one real test request with a 30-second limit:
    // needsInstall, needsLogin, needsPlan, ok or failed. Each test request
    // leaves one line in the log. Blocks while the tool runs.
    static WriterCheck run(WriterProvider provider, std::stop_token stop = {});
    // The same on other tools than the installed ones.
    static WriterCheck run(WriterTools& tools, WriterProvider provider, std::stop_token stop = {});

    static constexpr double testTimeout = 30;

    // "12,3 s": the seconds with one decimal and a decimal comma.
    static std::string secondsText(double seconds);
};

// What the check uses of the writing tools.
class WriterTools {
public:
    virtual ~WriterTools() = default;
    virtual std::optional<std::filesystem::path> executable(WriterProvider provider) = 0;
    virtual ParloxCore::AccountStatus accountStatus(WriterProvider provider, std::stop_token stop) = 0;
    // Builds the tool with the time-out and sends its test request; the
    // seconds it took, or the tool's own error.
    virtual double test(WriterProvider provider, double timeout, std::stop_token stop) = 0;

    // The tools installed on this machine.
    static WriterTools& installed();
};

}  // namespace Parlox
