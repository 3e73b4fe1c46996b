#include "platform/process/Subprocess.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstring>
#include <future>
#include <vector>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/foundation/UniqueFd.hpp"
#include "platform/process/CleanSpawn.hpp"

extern char** environ;

namespace platform::process {
namespace {

using Clock = std::chrono::steady_clock;

// Descriptors are kept above 2, so dup2 onto 0..2 always clears CLOEXEC.
UniqueFd highFd(int fd) {
    UniqueFd original(fd);
    if (fd < 0 || fd > 2) return original;
    return UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
}

void makePipe(UniqueFd& readEnd, UniqueFd& writeEnd, const std::string& path) {
    auto pipe = openPipe();
    if (!pipe) throw ProcessError(ProcessError::Kind::pipe, path, errno);
    readEnd = highFd(pipe->readEnd.release());
    writeEnd = highFd(pipe->writeEnd.release());
    if (!readEnd || !writeEnd) throw ProcessError(ProcessError::Kind::pipe, path, errno);
}

UniqueFd makeEventFd(const std::string& path) {
    UniqueFd fd = highFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!fd) throw ProcessError(ProcessError::Kind::pipe, path, errno);
    return fd;
}

void signalEvent(int fd) {
    uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(fd, &one, sizeof one);
}

void setNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// Writes the input on its own thread so a child that never reads cannot stall the run.
void writeInput(int fd, int wake, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd fds[2] = {{fd, POLLOUT, 0}, {wake, POLLIN, 0}};
            int r = ::poll(fds, 2, -1);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 || (fds[1].revents & POLLIN)) return;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
            continue;
        }
        return;  // EPIPE and the like: the child is gone or closed its input
    }
}

UniqueFd openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    UniqueFd fd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (fd) ::fcntl(fd.get(), F_SETFD, FD_CLOEXEC);
    return fd;
#else
    (void)pid;
    return UniqueFd();
#endif
}

int millisUntil(Clock::time_point t) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<long long>(left + 1, 60'000));
}

Clock::duration seconds(double s) {
    // Huge or odd values are clamped: converting them to a duration would overflow.
    if (!(s > 0)) return Clock::duration::zero();
    s = std::min(s, 10.0 * 365 * 24 * 3600);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

// A member that is only a zombie waiting for its new parent to reap it no
// longer counts.
bool groupAlive(pid_t pgid) {
    if (::kill(-pgid, 0) != 0 && errno != EPERM) return false;
    DIR* proc = ::opendir("/proc");
    if (!proc) return true;
    bool alive = false;
    while (dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        const std::string path = std::string("/proc/") + entry->d_name + "/stat";
        const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd) continue;
        char buffer[512];
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer - 1);
        if (n <= 0) continue;
        buffer[n] = 0;
        // "pid (comm) state ppid pgrp ..."; comm may hold anything, so parse after the last ')'.
        const char* close = std::strrchr(buffer, ')');
        if (!close) continue;
        char state = 0;
        long ppid = 0, pgrp = 0;
        if (std::sscanf(close + 1, " %c %ld %ld", &state, &ppid, &pgrp) != 3) continue;
        if (pgrp == pgid && state != 'Z' && state != 'X') {
            alive = true;
            break;
        }
    }
    ::closedir(proc);
    return alive;
}

// The descriptors of one run, all made before the child exists so that
// nothing can fail once it runs. The child's ends are closed in this process
// once it is spawned; the output pipe exists only when the output is pumped.
struct RunPipes {
    UniqueFd inRead, inWrite;
    UniqueFd outRead, outWrite;
    UniqueFd devNull;
    UniqueFd stopWake;    // a stop request reaches the supervisor through it
    UniqueFd writerWake;  // tells the input writer to give up

    static RunPipes open(const Options& options, const std::string& exe) {
        RunPipes pipes;
        makePipe(pipes.inRead, pipes.inWrite, exe);
        pipes.devNull = highFd(::open("/dev/null", O_RDWR | O_CLOEXEC));
        if (!pipes.devNull) throw ProcessError(ProcessError::Kind::pipe, exe, errno);
        if (options.output != OutputMode::discard) makePipe(pipes.outRead, pipes.outWrite, exe);
        pipes.stopWake = makeEventFd(exe);
        pipes.writerWake = makeEventFd(exe);
        return pipes;
    }

    void closeChildEnds() {
        inRead.reset();
        outWrite.reset();
        devNull.reset();
    }
};

// Starts the child in a process group of its own, with an empty signal mask,
// standard input, output and error wired to the pipes, and nothing else open.
pid_t spawnChild(const Options& options, const RunPipes& pipes, const std::string& exe) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipes.inRead.get(), 0);
    const int outTarget = pipes.outWrite ? pipes.outWrite.get() : pipes.devNull.get();
    posix_spawn_file_actions_adddup2(&actions, outTarget, 1);
    posix_spawn_file_actions_adddup2(&actions, options.mergeStandardError ? outTarget : pipes.devNull.get(), 2);
    if (!options.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    spawnClean(actions, attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);

    std::vector<std::string> argStore;
    argStore.reserve(options.arguments.size() + 1);
    argStore.push_back(exe);
    argStore.insert(argStore.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStore;
    std::vector<char*> envp;
    char** envArg = environ;
    if (options.environment) {
        envStore = *options.environment;
        for (auto& e : envStore) envp.push_back(e.data());
        envp.push_back(nullptr);
        envArg = envp.data();
    }

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, exe.c_str(), &actions, &attr, argv.data(), envArg);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) throw ProcessError(ProcessError::Kind::launch, exe, rc);
    return pid;
}

// Writes the child's input on a thread of its own, so a child that never
// reads cannot stall the run. Empty input is an input closed at once.
class InputWriter {
public:
    InputWriter(UniqueFd fd, UniqueFd wake, const std::string& data) : wake_(std::move(wake)) {
        if (data.empty()) return;
        setNonBlocking(fd.get());
        // The thread owns the pipe's end and closes it when done, so the child sees the end of input.
        thread_ = std::thread([fd = std::move(fd), w = wake_.get(), &data] { writeInput(fd.get(), w, data); });
    }
    InputWriter(const InputWriter&) = delete;
    InputWriter& operator=(const InputWriter&) = delete;
    ~InputWriter() { finish(); }

    // Gives up on what the child did not read and waits for the thread.
    void finish() {
        if (!thread_.joinable()) return;
        signalEvent(wake_.get());
        thread_.join();
    }

private:
    UniqueFd wake_;
    std::thread thread_;
};

// Watches one spawned child until it and what it started are done: reaps it,
// pumps its output, enforces the time-out and stop requests, and ends the
// members of its group it leaves behind.
//
// When the child exits on its own, the output is read while it keeps
// coming: helpers may still be writing the answer. Reading stops when it
// closes, when nothing arrived for drainGrace, or at the time-out, whichever
// comes first; a quiet helper holding it open must not hold the answer. Once
// the output is done, members still in the group are ended.
class Supervisor {
public:
    Supervisor(const Options& options, pid_t pid, UniqueFd output, UniqueFd wake)
        : options_(options),
          pid_(pid),
          pgid_(pid),
          pidFd_(openPidFd(pid)),
          output_(std::move(output)),
          wake_(std::move(wake)),
          start_(Clock::now()),
          hasDeadline_(options.timeout > 0),
          deadline_(start_ + seconds(options.timeout)),
          buffer_(64 * 1024) {}

    // Safe from any thread, once.
    void requestStop() { signalEvent(wake_.get()); }

    void watch() {
        for (;;) {
            reapIfExited();
            const auto now = Clock::now();
            enforceTimeOut(now);
            escalate(now);
            shortenDrainWhenGroupIsGone(now);
            if (reaped_ && outputDone(now)) {
                endLeftovers();
                if (groupDone()) return;
            }
            if (!waitForEvents(pollMillis(now))) break;
        }
        if (!reaped_) {
            // Only reached when poll itself failed: make sure nothing is left.
            signalGroup(SIGKILL);
            while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
            }
        }
    }

    Result result() {
        if (WIFSIGNALED(status_)) {
            result_.signaled = true;
            result_.exitCode = WTERMSIG(status_);
        } else if (WIFEXITED(status_)) {
            result_.exitCode = WEXITSTATUS(status_);
        }
        return std::move(result_);
    }

private:
    static constexpr auto groupCheckInterval = std::chrono::milliseconds(100);

    void signalGroup(int sig) {
        ::kill(-pgid_, sig);
        if (!reaped_) ::kill(pid_, sig);
    }

    void beginTermination() {
        if (terminating_) return;
        terminating_ = true;
        signalGroup(SIGTERM);
        const auto now = Clock::now();
        killAt_ = now + seconds(options_.killGrace);
        if (reaped_) drainUntil_ = std::min(drainUntil_, now + seconds(options_.drainGrace));
    }

    void reapIfExited() {
        if (reaped_) return;
        pid_t r;
        do {
            r = ::waitpid(pid_, &status_, WNOHANG);
        } while (r < 0 && errno == EINTR);
        if (r != pid_ && !(r < 0 && errno == ECHILD)) return;
        reaped_ = true;
        const auto now = Clock::now();
        // After a time-out or a stop the group is going anyway; after a normal
        // exit, helpers that keep writing get until the time-out to finish.
        const bool waitForHelpers = !terminating_ && hasDeadline_ && options_.helpersMayWrite;
        drainUntil_ = waitForHelpers ? std::max(deadline_, now) : now + seconds(options_.drainGrace);
        quietUntil_ = now + seconds(options_.drainGrace);
        nextGroupCheck_ = now;
    }

    void enforceTimeOut(Clock::time_point now) {
        if (!hasDeadline_ || reaped_ || result_.timedOut || now < deadline_) return;
        result_.timedOut = true;
        beginTermination();
    }

    void escalate(Clock::time_point now) {
        if (!terminating_ || killed_ || now < killAt_) return;
        signalGroup(SIGKILL);
        killed_ = true;
    }

    // Output held open by something that left the group is not waited for:
    // nothing of this run is left to write it.
    void shortenDrainWhenGroupIsGone(Clock::time_point now) {
        if (!reaped_ || !output_ || terminating_ || now < nextGroupCheck_) return;
        nextGroupCheck_ = now + groupCheckInterval;
        if (!groupAlive(pgid_)) drainUntil_ = std::min(drainUntil_, now + seconds(options_.drainGrace));
    }

    // Reading after the exit ends at the hard limit or after a quiet spell.
    Clock::time_point drainEnd() const { return std::min(drainUntil_, quietUntil_); }

    bool outputDone(Clock::time_point now) const { return !output_ || now >= drainEnd(); }

    // Whatever the child left running in its group goes with it, once.
    void endLeftovers() {
        if (leftoversChecked_) return;
        leftoversChecked_ = true;
        if (options_.endGroupWithChild && groupAlive(pgid_)) beginTermination();
    }

    // Members that got SIGKILL are as good as gone; group members cannot be waited for.
    bool groupDone() const { return !terminating_ || killed_ || !groupAlive(pgid_); }

    int pollMillis(Clock::time_point now) const {
        int waitMs = 1000;
        if (hasDeadline_ && !reaped_ && !result_.timedOut) waitMs = std::min(waitMs, millisUntil(deadline_));
        if (terminating_ && !killed_) waitMs = std::min(waitMs, millisUntil(killAt_));
        if (reaped_ && output_ && now < drainEnd()) waitMs = std::min(waitMs, millisUntil(drainEnd()));
        if (reaped_ && output_ && !terminating_) waitMs = std::min(waitMs, millisUntil(nextGroupCheck_));
        if (reaped_ && terminating_) waitMs = std::min(waitMs, 20);
        if (!reaped_ && !pidFd_) waitMs = std::min(waitMs, 20);
        return waitMs;
    }

    // One poll over the child's pid, its output and the stop wake-up; false
    // when poll itself failed.
    bool waitForEvents(int waitMs) {
        pollfd fds[3];
        int count = 0;
        int pidIndex = -1, outIndex = -1, wakeIndex = -1;
        if (!reaped_ && pidFd_) {
            pidIndex = count;
            fds[count++] = {pidFd_.get(), POLLIN, 0};
        }
        if (output_) {
            outIndex = count;
            fds[count++] = {output_.get(), POLLIN, 0};
        }
        if (!result_.cancelled) {
            wakeIndex = count;
            fds[count++] = {wake_.get(), POLLIN, 0};
        }
        const int r = ::poll(fds, static_cast<nfds_t>(count), waitMs);
        if (r < 0 && errno != EINTR) return false;
        if (r <= 0) return true;
        if (outIndex >= 0 && fds[outIndex].revents) readOutput();
        if (wakeIndex >= 0 && (fds[wakeIndex].revents & POLLIN)) onStopRequest();
        if (pidIndex >= 0 && fds[pidIndex].revents) reapIfExited();
        return true;
    }

    void readOutput() {
        const ssize_t n = ::read(output_.get(), buffer_.data(), buffer_.size());
        if (n > 0) {
            consume(buffer_.data(), static_cast<std::size_t>(n));
            if (reaped_) quietUntil_ = Clock::now() + seconds(options_.drainGrace);
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            output_.reset();
        }
    }

    // A stop also ends the wait for helpers of a child that already exited,
    // and the helpers with it when the group goes with the child.
    void onStopRequest() {
        uint64_t v;
        [[maybe_unused]] auto n = ::read(wake_.get(), &v, sizeof v);
        result_.cancelled = true;
        if (reaped_ && !options_.endGroupWithChild) {
            drainUntil_ = std::min(drainUntil_, Clock::now() + seconds(options_.drainGrace));
            return;
        }
        if (reaped_) leftoversChecked_ = true;
        beginTermination();
    }

    // Keeps up to outputLimit bytes; the rest is counted and dropped.
    void consume(const char* data, std::size_t n) {
        const std::size_t before = result_.outputBytes;
        result_.outputBytes += n;
        const std::size_t room = before >= options_.outputLimit ? 0 : options_.outputLimit - before;
        const std::size_t kept = std::min(n, room);
        if (kept < n) result_.outputTruncated = true;
        if (kept == 0) return;
        if (options_.output == OutputMode::capture) {
            result_.output.append(data, kept);
        } else if (options_.output == OutputMode::file && options_.outputFd >= 0) {
            writeAll(options_.outputFd, data, kept);
        }
    }

    static void writeAll(int fd, const char* data, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t w = ::write(fd, data + done, size - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) break;
            done += static_cast<std::size_t>(w);
        }
    }

    const Options& options_;
    const pid_t pid_;
    const pid_t pgid_;
    UniqueFd pidFd_;
    UniqueFd output_;
    UniqueFd wake_;
    const Clock::time_point start_;
    const bool hasDeadline_;
    const Clock::time_point deadline_;
    std::vector<char> buffer_;

    Result result_;
    int status_ = 0;
    bool reaped_ = false;
    bool terminating_ = false;
    bool killed_ = false;
    bool leftoversChecked_ = false;
    Clock::time_point killAt_{};
    Clock::time_point drainUntil_{};
    Clock::time_point quietUntil_{};  // drainGrace after the last output since the exit
    Clock::time_point nextGroupCheck_{};
};

}  // namespace

void ignoreSigpipe() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_handler = SIG_IGN;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGPIPE, &sa, nullptr);
    });
}

void startDetached(Options options) {
    options.input.clear();
    options.output = OutputMode::discard;
    options.timeout = 0;
    options.endGroupWithChild = false;
    auto launched = std::make_shared<std::promise<void>>();
    auto started = launched->get_future();
    options.onSpawned = [launched](int) { launched->set_value(); };
    std::thread([options = std::move(options), launched] {
        try {
            run(options);
        } catch (...) {
            launched->set_exception(std::current_exception());
        }
    }).detach();
    started.get();
}

std::vector<std::string> environmentWith(
    const std::vector<std::pair<std::string, std::string>>& overrides) {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        std::string entry(*e);
        auto eq = entry.find('=');
        std::string name = entry.substr(0, eq);
        bool replaced = std::any_of(overrides.begin(), overrides.end(),
                                    [&](const auto& kv) { return kv.first == name; });
        if (!replaced) env.push_back(std::move(entry));
    }
    for (const auto& [name, value] : overrides) env.push_back(name + "=" + value);
    return env;
}

Result run(const Options& options, std::stop_token stop) {
    ignoreSigpipe();
    const std::string exe = options.executable.string();
    RunPipes pipes = RunPipes::open(options, exe);
    const pid_t pid = spawnChild(options, pipes, exe);
    if (options.onSpawned) options.onSpawned(pid);
    pipes.closeChildEnds();

    InputWriter writer(std::move(pipes.inWrite), std::move(pipes.writerWake), options.input);
    Supervisor supervisor(options, pid, std::move(pipes.outRead), std::move(pipes.stopWake));
    {
        std::stop_callback onStop(stop, [&supervisor] { supervisor.requestStop(); });
        supervisor.watch();
    }
    writer.finish();
    return supervisor.result();
}

}  // namespace platform::process
