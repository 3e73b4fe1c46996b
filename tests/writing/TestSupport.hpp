#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "writing/GenerationRequest.hpp"
#include "tests/support/ProcessGone.hpp"
#include "tests/support/ReadFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace writing_test {

namespace fs = std::filesystem;

inline fs::path fixture(const std::string& name) {
    return fs::path(PARLOX_SOURCE_DIR) / "tests/fixtures/writing" / name;
}

using parlox::testing::readFile;

inline void writeFile(const fs::path& path, const std::string& text, fs::perms perms = fs::perms::owner_read |
                                                                                      fs::perms::owner_write) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    fs::permissions(path, perms);
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// Sets environment variables for a test and puts the old values back.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        for (auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    void set(const std::string& name, const std::string& value) {
        remember(name);
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    void unset(const std::string& name) {
        remember(name);
        ::unsetenv(name.c_str());
    }

private:
    void remember(const std::string& name) {
        if (saved_.count(name)) return;
        const char* old = ::getenv(name.c_str());
        saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

// A private home, temporary area and config folder for one test.
class Sandbox {
public:
    Sandbox() {
        fs::create_directories(home());
        fs::create_directories(runtime());
        fs::permissions(runtime(), fs::perms::owner_all);
        env_.set("HOME", home().string());
        env_.set("XDG_RUNTIME_DIR", runtime().string());
        env_.set("XDG_CONFIG_HOME", (root_ / "config").string());
        env_.set("XDG_STATE_HOME", (root_ / "state").string());
        env_.set("SHELL", "/bin/sh");
        env_.unset("PARLOX_FAKE_SCENARIO");
        env_.unset("PARLOX_FAKE_RECORD");
    }
    const fs::path& root() const { return root_.path(); }
    fs::path home() const { return root_ / "home"; }
    fs::path runtime() const { return root_ / "run"; }
    fs::path record() const { return root_ / "record"; }
    ScopedEnv& env() { return env_; }

    // Entries left in the temporary area.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(runtime())) names.push_back(entry.path().filename().string());
        return names;
    }

    // The record folder is there before the tool starts, so that it can note
    // the helpers it starts at once, before anything else it does.
    void scenario(const std::string& name) {
        fs::create_directories(record());
        env_.set("PARLOX_FAKE_SCENARIO", name);
        env_.set("PARLOX_FAKE_RECORD", record().string());
    }

private:
    parlox::testing::TemporaryFolder root_{"parlox-writing-test-"};
    ScopedEnv env_;
};

using parlox::testing::processGone;

// Every process whose id is listed gets half a minute to go away.
inline void expectProcessesGone(const std::vector<std::string>& pids) {
    for (const auto& line : pids) {
        pid_t pid = std::stoi(line);
        for (int i = 0; i < 1500 && !processGone(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(processGone(pid)) << "process " << pid << " survived";
    }
}

// What one request gave under a scenario of the fake tools, run in a sandbox
// of its own.
template <typename Error>
struct ScenarioRun {
    std::variant<std::string, Error> outcome;  // the answer or the back-end's error
    double seconds = 0;
    std::vector<std::string> leftovers;  // entries left in the temporary area
    std::vector<std::string> helperPids;  // helpers the fake tool started
};

template <typename Provider, typename Error>
ScenarioRun<Error> runScenario(const std::string& scenario, const typename Provider::Configuration& configuration,
                               const ParloxCore::GenerationRequest& request) {
    Sandbox box;
    box.scenario(scenario);
    Provider provider(configuration);
    const auto start = std::chrono::steady_clock::now();
    ScenarioRun<Error> run{std::string()};
    try {
        run.outcome = provider.generate(request);
    } catch (const Error& error) {
        run.outcome = error;
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.leftovers = box.leftovers();
    run.helperPids = lines(readFile(box.record() / "pids"));
    return run;
}

// Checks a run against an expected answer or error, naming the scenario.
template <typename Error>
void expectOutcome(const ScenarioRun<Error>& run, const std::type_identity_t<std::variant<std::string, Error>>& expected,
                   const std::string& scenario) {
    if (const auto* error = std::get_if<Error>(&run.outcome)) {
        EXPECT_TRUE(run.outcome == expected) << scenario << ": " << error->localizedDescription();
    } else {
        EXPECT_TRUE(run.outcome == expected) << scenario << ": answered " << std::get<std::string>(run.outcome);
    }
    EXPECT_TRUE(run.leftovers.empty()) << scenario;
}

// A quiet helper that holds the tool's output open after the tool answered
// does not hold the answer until the time-out (run with a long one); it is
// ended, and the answer counts.
template <typename Error>
void expectAnswerWithoutWaitingForTheHelper(const ScenarioRun<Error>& run, double timeout, const std::string& answer) {
    expectOutcome(run, answer, "no-close");
    EXPECT_LT(run.seconds, timeout / 3);
    EXPECT_FALSE(run.helperPids.empty());
    expectProcessesGone(run.helperPids);
}

}  // namespace writing_test
