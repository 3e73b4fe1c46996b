#include "app/Support/Log.hpp"

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/log/SystemLog.hpp"

namespace Parlox {
namespace {

// The serial writer. It is never destroyed: lines logged during shutdown
// still find it, and exit flushes it.
class Writer {
public:
    static Writer& shared() {
        static Writer* writer = [] {
            auto* w = new Writer();
            std::atexit([] { Writer::shared().flush(); });
            return w;
        }();
        return *writer;
    }

    const std::filesystem::path& file() const { return file_; }

    void enqueue(std::string text) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(text));
            ++queued_;
        }
        wake_.notify_one();
    }

    void flush() {
        std::unique_lock lock(mutex_);
        const uint64_t target = queued_;
        done_.wait(lock, [&] { return written_ >= target; });
    }

private:
    Writer() : file_(platform::Paths::logsDirectory() / "Parlox.log") {
        std::thread([this] { loop(); }).detach();
    }

    void loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return !queue_.empty(); });
            std::string text = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            write(text);
            lock.lock();
            ++written_;
            done_.notify_all();
        }
    }

    void write(const std::string& text) {
        // The folder is made on first need, and again if someone removed it.
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                platform::FileManager::append(file_, text, 0600);
                return;
            } catch (...) {
            }
            try {
                platform::FileManager::createDirectories(file_.parent_path(), 0700);
            } catch (...) {
                return;  // logging never fails towards the caller; the line is lost
            }
        }
    }

    const std::filesystem::path file_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<std::string> queue_;
    uint64_t queued_ = 0;
    uint64_t written_ = 0;
};

const platform::SystemLogger& systemLogger() {
    static const platform::SystemLogger logger("qz.tamo.Parlox", "app");
    return logger;
}

void log(bool isError, std::string_view message) {
    const auto level = isError ? platform::LogLevel::error : platform::LogLevel::info;
    if (systemLogger().isEnabled(level)) systemLogger().log(level, message);
    Writer::shared().enqueue(Log::line(platform::now(), isError, message));
}

}  // namespace

void Log::info(std::string_view message) { log(false, message); }

void Log::error(std::string_view message) { log(true, message); }

std::string Log::line(platform::Date date, bool isError, std::string_view message) {
    std::string text = platform::iso8601String(date, true);
    text += ' ';
    text += isError ? "ERROR " : "INFO  ";
    text += message;
    text += '\n';
    return text;
}

std::filesystem::path Log::fileURL() { return Writer::shared().file(); }

void Log::flush() { Writer::shared().flush(); }

}  // namespace Parlox
