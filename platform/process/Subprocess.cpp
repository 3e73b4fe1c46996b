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
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

extern char** environ;

namespace platform::process {
namespace {

using Clock = std::chrono::steady_clock;

// Closes on scope exit; fds are kept above 2 so dup2 onto 0..2 always clears CLOEXEC.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
};

Fd highFd(int fd) {
    if (fd < 0 || fd > 2) return Fd(fd);
    int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return Fd(moved);
}

void makePipe(Fd& readEnd, Fd& writeEnd, const std::string& path) {
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) throw ProcessError(ProcessError::Kind::pipe, path, errno);
    readEnd = highFd(p[0]);
    writeEnd = highFd(p[1]);
    if (!readEnd || !writeEnd) throw ProcessError(ProcessError::Kind::pipe, path, errno);
}

Fd makeEventFd(const std::string& path) {
    Fd fd = highFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
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

int openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
#else
    (void)pid;
    return -1;
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
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char buffer[512];
        ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
        ::close(fd);
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

    Fd inRead, inWrite;
    makePipe(inRead, inWrite, exe);
    Fd outRead, outWrite;
    Fd devNull = highFd(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!devNull) throw ProcessError(ProcessError::Kind::pipe, exe, errno);
    const bool pumping = options.output != OutputMode::discard;
    if (pumping) makePipe(outRead, outWrite, exe);
    Fd wake = makeEventFd(exe);
    Fd writerWake = makeEventFd(exe);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inRead.get(), 0);
    int outTarget = pumping ? outWrite.get() : devNull.get();
    posix_spawn_file_actions_adddup2(&actions, outTarget, 1);
    posix_spawn_file_actions_adddup2(&actions, options.mergeStandardError ? outTarget : devNull.get(), 2);
    if (!options.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t mask;
    sigemptyset(&mask);
    posix_spawnattr_setsigmask(&attr, &mask);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2,
                    SIGTSTP, SIGTTIN, SIGTTOU, SIGXFSZ}) {
        sigaddset(&defaults, sig);
    }
    posix_spawnattr_setsigdefault(&attr, &defaults);

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
    int rc = ::posix_spawn(&pid, exe.c_str(), &actions, &attr, argv.data(), envArg);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) throw ProcessError(ProcessError::Kind::launch, exe, rc);

    const pid_t pgid = pid;
    if (options.onSpawned) options.onSpawned(pid);
    inRead.reset();
    outWrite.reset();
    devNull.reset();

    std::thread writer;
    if (options.input.empty()) {
        inWrite.reset();
    } else {
        setNonBlocking(inWrite.get());
        // The writer owns the pipe's end and closes it when done, so the child sees the end of input.
        writer = std::thread([fd = inWrite.release(), w = writerWake.get(), &data = options.input] {
            writeInput(fd, w, data);
            ::close(fd);
        });
    }

    Fd pidFd(openPidFd(pid));
    Result result;
    std::stop_callback onStop(stop, [w = wake.get()] { signalEvent(w); });

    const auto start = Clock::now();
    const bool hasDeadline = options.timeout > 0;
    const auto deadline = start + seconds(options.timeout);
    const auto grace = seconds(options.killGrace);

    bool reaped = false;
    bool terminating = false;
    bool killed = false;
    Clock::time_point killAt{};
    Clock::time_point drainUntil{};
    int status = 0;

    auto signalAll = [&](int sig) {
        ::kill(-pgid, sig);
        if (!reaped) ::kill(pid, sig);
    };
    auto beginTermination = [&] {
        if (terminating) return;
        terminating = true;
        signalAll(SIGTERM);
        killAt = Clock::now() + grace;
    };
    auto tryReap = [&] {
        if (reaped) return;
        pid_t r;
        do {
            r = ::waitpid(pid, &status, WNOHANG);
        } while (r < 0 && errno == EINTR);
        if (r == pid || (r < 0 && errno == ECHILD)) {
            reaped = true;
            drainUntil = Clock::now() + seconds(options.drainGrace);
            // Whatever the child left running in its group goes with it.
            if (options.endGroupWithChild && groupAlive(pgid)) beginTermination();
        }
    };
    auto consume = [&](const char* data, std::size_t n) {
        const std::size_t before = result.outputBytes;
        result.outputBytes += n;
        const std::size_t room = before >= options.outputLimit ? 0 : options.outputLimit - before;
        const std::size_t kept = std::min(n, room);
        if (kept < n) result.outputTruncated = true;
        if (kept == 0) return;
        if (options.output == OutputMode::capture) {
            result.output.append(data, kept);
        } else if (options.output == OutputMode::file && options.outputFd >= 0) {
            std::size_t done = 0;
            while (done < kept) {
                ssize_t w = ::write(options.outputFd, data + done, kept - done);
                if (w < 0 && errno == EINTR) continue;
                if (w <= 0) break;
                done += static_cast<std::size_t>(w);
            }
        }
    };

    std::vector<char> buffer(64 * 1024);
    for (;;) {
        tryReap();
        if (reaped) {
            const bool outputDone = !outRead || Clock::now() >= drainUntil;
            const bool groupDone = !terminating || killed || !groupAlive(pgid);
            if (outputDone && groupDone) break;
        }

        auto now = Clock::now();
        if (hasDeadline && !reaped && !result.timedOut && now >= deadline) {
            result.timedOut = true;
            beginTermination();
        }
        if (terminating && !killed && now >= killAt) {
            signalAll(SIGKILL);
            killed = true;
        }

        int waitMs = 1000;
        if (hasDeadline && !reaped && !result.timedOut) waitMs = std::min(waitMs, millisUntil(deadline));
        if (terminating && !killed) waitMs = std::min(waitMs, millisUntil(killAt));
        if (reaped && outRead && now < drainUntil) waitMs = std::min(waitMs, millisUntil(drainUntil));
        if (reaped && terminating) waitMs = std::min(waitMs, 20);  // group members are not waitable
        if (!reaped && !pidFd) waitMs = std::min(waitMs, 20);

        pollfd fds[3];
        int count = 0;
        int pidIndex = -1, outIndex = -1, wakeIndex = -1;
        if (!reaped && pidFd) {
            pidIndex = count;
            fds[count++] = {pidFd.get(), POLLIN, 0};
        }
        if (outRead) {
            outIndex = count;
            fds[count++] = {outRead.get(), POLLIN, 0};
        }
        if (!result.cancelled) {
            wakeIndex = count;
            fds[count++] = {wake.get(), POLLIN, 0};
        }
        int r = ::poll(fds, static_cast<nfds_t>(count), waitMs);
        if (r < 0 && errno != EINTR) break;
        if (r <= 0) continue;

        if (outIndex >= 0 && fds[outIndex].revents) {
            ssize_t n = ::read(outRead.get(), buffer.data(), buffer.size());
            if (n > 0) {
                consume(buffer.data(), static_cast<std::size_t>(n));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                outRead.reset();
            }
        }
        if (wakeIndex >= 0 && (fds[wakeIndex].revents & POLLIN)) {
            uint64_t v;
            [[maybe_unused]] auto n = ::read(wake.get(), &v, sizeof v);
            result.cancelled = true;
            if (!reaped) beginTermination();
        }
        if (pidIndex >= 0 && fds[pidIndex].revents) tryReap();
    }

    if (!reaped) {
        // Only reached when poll itself failed: make sure nothing is left.
        signalAll(SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }

    if (writer.joinable()) {
        signalEvent(writerWake.get());
        writer.join();
    }

    if (WIFSIGNALED(status)) {
        result.signaled = true;
        result.exitCode = WTERMSIG(status);
    } else if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

}  // namespace platform::process
