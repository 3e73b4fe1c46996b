#pragma once

#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Interface/WriterCheck.hpp"
#include "app/Support/Log.hpp"
#include "tests/support/StandardDefaults.hpp"
#include "tests/writing/TestSupport.hpp"

namespace interface_test {

using Parlox::WriterCheck;
using Parlox::WriterProvider;

// The two writing tools, as values of the provider type.
inline constexpr WriterProvider chatGPT = WriterProvider::chatGPT;
inline constexpr WriterProvider claude = WriterProvider::claude;

// A private home and log folder for one test.
using Sandboxed = writing_test::Sandbox;

inline std::string lastLogLine() {
    Parlox::Log::flush();
    auto all = writing_test::lines(writing_test::readFile(Parlox::Log::fileURL()));
    return all.empty() ? std::string() : all.back();
}

using Settings = parlox::testing::StandardDefaults;

// Writing tools whose answers a test sets per tool, counting what is asked.
class FakeWriterTools : public Parlox::WriterTools {
public:
    struct TestOutcome {
        double elapsed = 0;
        std::exception_ptr failure;
        static TestOutcome seconds(double s) { return {s, nullptr}; }
        template <class E>
        static TestOutcome error(const E& e) {
            return {0, std::make_exception_ptr(e)};
        }
    };

    std::map<WriterProvider::Value, bool> installed;
    std::map<WriterProvider::Value, ParloxCore::AccountStatus> status;
    std::map<WriterProvider::Value, TestOutcome> outcome;
    int probes = 0;
    int tests = 0;
    std::vector<double> testTimeouts;

    std::optional<std::filesystem::path> executable(WriterProvider provider) override {
        if (!installed[provider]) return std::nullopt;
        return std::filesystem::path("/opt/tools") / (provider == WriterProvider::claude ? "claude" : "codex");
    }
    ParloxCore::AccountStatus accountStatus(WriterProvider provider, std::stop_token) override {
        ++probes;
        return status[provider];
    }
    double test(WriterProvider provider, double timeout, std::stop_token) override {
        ++tests;
        testTimeouts.push_back(timeout);
        const TestOutcome& result = outcome[provider];
        if (result.failure) std::rethrow_exception(result.failure);
        return result.elapsed;
    }
};

}  // namespace interface_test

#include "app/Interface/WriterActions.hpp"
#include "app/Interface/WriterChecker.hpp"

namespace interface_test {

// Checks that wait until the test answers them, in any order.
class FakeWriterChecker : public Parlox::WriterChecker {
public:
    struct SetupCall {
        WriterProvider provider;
        SetupDone done;
    };
    struct RunCall {
        WriterProvider provider;
        RunDone done;
    };
    std::vector<SetupCall> setups;
    std::vector<RunCall> runs;

    void setup(WriterProvider provider, SetupDone done) override { setups.push_back({provider, std::move(done)}); }
    void run(WriterProvider provider, RunDone done) override { runs.push_back({provider, std::move(done)}); }
    // Places answer at once, from the table the test fills.
    std::map<WriterProvider::Value, std::string> places;
    void locate(WriterProvider provider, LocateDone done) override { done(places[provider]); }

    // Answers the oldest unanswered look at `provider`.
    void answerSetup(WriterProvider provider, std::optional<WriterCheck> answer) {
        for (auto it = setups.begin(); it != setups.end(); ++it)
            if (it->provider == provider) {
                auto done = std::move(it->done);
                setups.erase(it);
                done(answer);
                return;
            }
        ADD_FAILURE() << "no look at " << provider.rawValue() << " is waiting";
    }
    void answerRun(WriterProvider provider, WriterCheck answer) {
        for (auto it = runs.begin(); it != runs.end(); ++it)
            if (it->provider == provider) {
                auto done = std::move(it->done);
                runs.erase(it);
                done(answer);
                return;
            }
        ADD_FAILURE() << "no test of " << provider.rawValue() << " is waiting";
    }
    int pendingRuns(WriterProvider provider) const {
        int n = 0;
        for (const auto& call : runs) n += call.provider == provider;
        return n;
    }
    int pendingSetups(WriterProvider provider) const {
        int n = 0;
        for (const auto& call : setups) n += call.provider == provider;
        return n;
    }
};

// Outside steps recorded instead of opened; with `byHand` set, every step
// fails to open and tells that text.
struct RecordedActions {
    std::vector<std::string> opened;
    std::optional<std::string> byHand;
    Parlox::WriterActions actions() {
        auto step = [this](const std::string& name, const Parlox::WriterActions::Tell& tell) {
            opened.push_back(name);
            if (byHand) tell(*byHand);
        };
        return {[step](WriterProvider p, auto tell) { step("install " + p.rawValue(), tell); },
                [step](WriterProvider p, auto tell) { step("login " + p.rawValue(), tell); },
                [step](auto tell) { step("plans", tell); }};
    }
};

}  // namespace interface_test
