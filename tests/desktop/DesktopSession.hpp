#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/accessibility/Accessibility.hpp"
#include "platform/accessibility/AtspiClient.hpp"
#include "platform/desktop/X11Workspace.hpp"
#include "platform/foundation/UniqueFd.hpp"
#include "platform/log/SystemLog.hpp"
#include "tests/support/ReadFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

extern char** environ;

namespace parlox::testing {

// A helper program of the tests, started with its standard output on a pipe
// and ended (SIGTERM, then SIGKILL) when the object goes.
class FixtureProcess {
public:
    // Starts `args` and waits until it prints a line beginning "READY", or,
    // when `ready` is given, until `ready` holds.
    explicit FixtureProcess(const std::vector<std::string>& args, std::function<bool()> ready = {}) {
        auto out = platform::openPipe();
        if (!out) throw std::runtime_error("pipe");
        output_ = std::move(out->readEnd);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out->writeEnd.get(), STDOUT_FILENO);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        out->writeEnd.reset();
        if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
        std::string said;
        auto isReady = [&] { return ready ? ready() : said.find("READY") != std::string::npos; };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        bool open = true;
        while (!isReady() && std::chrono::steady_clock::now() < deadline) {
            pollfd fd{output_.get(), POLLIN, 0};
            if (!open) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            if (::poll(&fd, 1, 20) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(output_.get(), buffer, sizeof buffer);
            if (n <= 0) {
                if (!ready) break;
                open = false;
                continue;
            }
            said.append(buffer, static_cast<size_t>(n));
        }
        if (!isReady()) {
            stop();
            throw std::runtime_error(args[0] + " did not get ready");
        }
    }
    ~FixtureProcess() { stop(); }
    FixtureProcess(const FixtureProcess&) = delete;
    FixtureProcess& operator=(const FixtureProcess&) = delete;

    pid_t pid() const { return pid_; }

    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            for (int i = 0; i < 200 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (::waitpid(pid_, &status, WNOHANG) == 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
            pid_ = -1;
        }
        output_.reset();
    }

private:
    pid_t pid_ = -1;
    platform::UniqueFd output_;
};

// The messages logged while the object lives.
class LogLines {
public:
    LogLines() {
        platform::SystemLog::setSink(
            [this](platform::LogLevel, const std::string&, const std::string&, const std::string& message) {
                std::lock_guard lock(mutex_);
                lines_.push_back(message);
            });
    }
    ~LogLines() { platform::SystemLog::setSink(nullptr); }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;

    bool containsPrefix(const std::string& prefix) const {
        std::lock_guard lock(mutex_);
        return std::any_of(lines_.begin(), lines_.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Waits until `done` holds, checking every 10 ms. The other programs may
// be held up for seconds on a loaded machine: the bound only decides how
// long a test that fails takes.
template <typename Done>
bool eventually(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// Whether the program `pid` shows up on the accessibility bus within a while.
inline bool listedOnTheAccessibilityBus(int pid) {
    auto& client = platform::accessibility::AtspiClient::shared();
    return eventually(
        [&] {
            for (int p : client.applications())
                if (p == pid) return true;
            return false;
        },
        std::chrono::seconds(10));
}

// The program's focused element over accessibility, once it tells it: a
// program shows its focus on the bus a moment after its window got it.
inline platform::accessibility::ElementRef focusedOverAccessibility(
    platform::accessibility::Accessibility& accessibility, int pid) {
    platform::accessibility::ElementRef element;
    eventually([&] { return (element = accessibility.focusedElement(pid)) != nullptr; }, std::chrono::seconds(10));
    return element;
}

// A text field program (tests/fixtures/desktop) running on the test desktop,
// ended when the object goes. What the field holds is read from the
// program's own report, apart from the accessibility layer. It is ready
// once its field has the focus and it shows on the accessibility bus.
class TextFieldProgram {
public:
    enum class Toolkit { qt, gtk };
    // A one-line field or a multi-line one. Qt has two multi-line edits (rich
    // and plain text); GTK's text view stands for both.
    enum class Widget { line, multiLine, plainMultiLine };
    struct Options {
        Toolkit toolkit = Toolkit::qt;
        std::string name;
        std::string text;
        // In the toolkit's own units.
        int selectStart = -1;
        int selectLength = 0;
        bool password = false;
        bool readOnly = false;
        int width = 0;  // Qt only: the window's size
        int height = 0;
        Widget widget = Widget::line;
        // GTK only: a busy program that handles the paste key this late.
        int pasteDelayMs = 0;
        // GTK only: a second one-line field below, holding this text.
        std::optional<std::string> second;
    };

    explicit TextFieldProgram(const Options& options)
        : report_(folder_ / "field.txt"), process_(arguments(options, report_)) {
        if (!listedOnTheAccessibilityBus(process_.pid()))
            throw std::runtime_error("the text field did not appear on the accessibility bus");
    }

    int pid() const { return process_.pid(); }
    static std::string defaultName(Toolkit toolkit) { return toolkit == Toolkit::qt ? "campo-qt" : "campo-gtk"; }

    // The field's text and selected text as the program itself sees them.
    std::pair<std::string, std::string> field() const { return reported(0); }
    // The same for the second field.
    std::pair<std::string, std::string> secondField() const { return reported(1); }

    // Waits until the field holds `text` with `selected` selected.
    bool waitForField(const std::string& text, const std::string& selected) const {
        return eventually([&] { return field() == std::make_pair(text, selected); });
    }

private:
    // The text and selected text of the field `index` in the program's report.
    std::pair<std::string, std::string> reported(size_t index) const {
        const std::string all = readFile(report_);
        std::vector<std::string> parts;
        for (size_t at = 0, end; (end = all.find('\0', at)) != std::string::npos; at = end + 1)
            parts.push_back(all.substr(at, end - at));
        if (parts.size() < 2 * index + 2) return {};
        return {parts[2 * index], parts[2 * index + 1]};
    }

    static std::vector<std::string> arguments(const Options& options, const std::filesystem::path& report) {
        std::vector<std::string> args;
        if (options.toolkit == Toolkit::qt) {
            args.push_back(PARLOX_FIXTURE_QT_FIELD);
        } else {
            args.push_back("/usr/bin/python3");
            args.push_back(PARLOX_SOURCE_DIR "/tests/fixtures/desktop/gtk_text_field.py");
        }
        const std::string name = options.name.empty() ? defaultName(options.toolkit) : options.name;
        args.insert(args.end(), {"--name", name, "--text", options.text, "--report", report.string()});
        if (options.selectStart >= 0)
            args.insert(args.end(), {"--select", std::to_string(options.selectStart),
                                     std::to_string(options.selectLength)});
        if (options.password) args.push_back("--password");
        if (options.readOnly) args.push_back("--readonly");
        if (options.widget != Widget::line) {
            if (options.toolkit == Toolkit::gtk) args.push_back("--multiline");
            else args.insert(args.end(), {"--widget", options.widget == Widget::multiLine ? "rich" : "plain"});
        }
        if (options.pasteDelayMs > 0) args.insert(args.end(), {"--paste-delay", std::to_string(options.pasteDelayMs)});
        if (options.second) args.insert(args.end(), {"--second", *options.second});
        if (options.width > 0)
            args.insert(args.end(), {"--size", std::to_string(options.width), std::to_string(options.height)});
        return args;
    }

    TemporaryFolder folder_{"parlox-field-"};
    std::filesystem::path report_;
    FixtureProcess process_;
};

// A terminal emulator on the test desktop whose shell is a stand-in
// (tests/fixtures/desktop/terminal_shell.py): it shows "$ " and a
// half-typed line, runs nothing and writes down every byte the terminal
// sends it. Ready once that shell reads, the terminal's window has the
// keyboard focus and, for a terminal with accessibility, it shows on the
// accessibility bus. Ended when the object goes.
class TerminalProgram {
public:
    struct Options {
        std::string name;                  // as tests name it
        std::vector<std::string> command;  // the terminal and its options, before "-e"
        bool accessible = false;           // it shows its text over accessibility
    };

    TerminalProgram(const Options& options, const std::string& line)
        : log_(folder_ / "shell.log"), process_(arguments(options, line, log_), [this] { return ready(); }) {
        platform::desktop::X11Workspace workspace;
        const bool focused = eventually(
            [&] {
                workspace.activate(process_.pid());
                const auto front = workspace.frontmostApplication();
                return front && front->processIdentifier == process_.pid();
            },
            std::chrono::seconds(10));
        if (!focused) throw std::runtime_error(options.name + " did not get the keyboard focus");
        if (!options.accessible) return;
        if (!listedOnTheAccessibilityBus(process_.pid()))
            throw std::runtime_error(options.name + " did not appear on the accessibility bus");
    }

    int pid() const { return process_.pid(); }
    // Every byte the shell received so far.
    std::string received() const { return readFile(log_); }
    bool waitForReceived(const std::string& part) const {
        return eventually([&] { return received().find(part) != std::string::npos; });
    }

private:
    bool ready() const { return std::filesystem::exists(log_.string() + ".ready"); }

    static std::vector<std::string> arguments(const Options& options, const std::string& line,
                                              const std::filesystem::path& log) {
        std::vector<std::string> args = options.command;
        args.insert(args.end(), {"-e", "/usr/bin/python3", PARLOX_SOURCE_DIR "/tests/fixtures/desktop/terminal_shell.py",
                                 log.string(), line});
        return args;
    }

    TemporaryFolder folder_{"parlox-terminal-"};
    std::filesystem::path log_;
    FixtureProcess process_;
};

inline void PrintTo(const TerminalProgram::Options& options, std::ostream* os) { *os << options.name; }

// Test names show the toolkit.
inline void PrintTo(TextFieldProgram::Toolkit toolkit, std::ostream* os) {
    *os << (toolkit == TextFieldProgram::Toolkit::qt ? "Qt" : "GTK");
}

// The stand-in screen saver and notification services on the session bus
// (tests/fixtures/desktop/desktop_services.py) and the calls they received.
class DesktopServices {
public:
    DesktopServices()
        : log_(folder_ / "calls.jsonl"),
          process_({"/usr/bin/python3", PARLOX_SOURCE_DIR "/tests/fixtures/desktop/desktop_services.py",
                    log_.string()}) {}

    // One JSON array per call received, oldest first.
    std::vector<std::string> calls() const {
        std::vector<std::string> out;
        const std::string all = readFile(log_);
        size_t at = 0, newline;
        while ((newline = all.find('\n', at)) != std::string::npos) {
            out.push_back(all.substr(at, newline - at));
            at = newline + 1;
        }
        return out;
    }

private:
    TemporaryFolder folder_{"parlox-services-"};
    std::filesystem::path log_;
    FixtureProcess process_;
};

// Whether the session's sound server runs; when not, why. A desktop that
// asked for sound (tests/desktop/session.sh without --no-sound) must have it,
// so a sound test fails, never skips, without it.
inline ::testing::AssertionResult theSoundServerRuns() {
    if (std::getenv("PARLOX_TEST_SOUND_SERVER") != nullptr && std::getenv("PARLOX_TEST_MIC_FIFO") != nullptr)
        return ::testing::AssertionSuccess();
    const char* why = std::getenv("PARLOX_TEST_NO_SOUND_SERVER");
    return ::testing::AssertionFailure()
           << "no sound server in this desktop: "
           << (why != nullptr ? why : "the test did not run inside tests/desktop/session.sh with sound");
}

// The session's microphone: it plays one second of a 440 Hz tone at half
// scale on the left channel with silence on the right, then silence, for as
// long as it lives (a microphone never stops delivering).
class Microphone {
public:
    // Whether the session has one: it is fed through the sound server.
    static ::testing::AssertionResult available() { return theSoundServerRuns(); }

    Microphone() : thread_([this] { run(); }) {}
    ~Microphone() {
        done_ = true;
        thread_.join();
    }

private:
    void run() {
        // Not blocking: a sound server that stops reading (a source it
        // suspended) must not hold the test when the voice should end.
        const char* fifo = std::getenv("PARLOX_TEST_MIC_FIFO");
        const platform::UniqueFd fd(fifo != nullptr ? ::open(fifo, O_WRONLY | O_NONBLOCK) : -1);
        if (!fd) return;
        constexpr size_t chunk = 4800;  // 0.1 s
        std::vector<float> frames(chunk * 2);
        for (size_t at = 0; !done_; at += chunk) {
            for (size_t i = 0; i < chunk; ++i)
                frames[2 * i] = at + i < 48000
                                    ? 0.5f * static_cast<float>(std::sin(2 * M_PI * 440.0 * (at + i) / 48000.0))
                                    : 0.0f;
            if (!writeAll(fd.get(), frames.data(), frames.size() * sizeof(float))) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(at < 48000 ? 0 : 20));
        }
    }

    // Writes as the reader makes room; false once the voice should end or
    // the reader is gone.
    bool writeAll(int fd, const void* data, size_t size) {
        const auto* bytes = static_cast<const char*>(data);
        while (size > 0) {
            if (done_) return false;
            pollfd ready{fd, POLLOUT, 0};
            if (::poll(&ready, 1, 50) <= 0) continue;
            const ssize_t n = ::write(fd, bytes, size);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n <= 0) return false;
            bytes += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace parlox::testing
