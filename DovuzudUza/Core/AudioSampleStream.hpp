#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

namespace DovuzudUza {

// Live sample buffers from a capture, in order. The capture side yields
// buffers and finishes the stream, with the error that ended it if any; the
// reading side gets every buffer, then the end (or that error, thrown).
class AudioSampleStream {
public:
    // False when the stream has already finished (the buffer is dropped).
    bool yield(std::vector<float> samples);
    // Ends the stream; later calls do nothing. The end handler runs once,
    // on the finishing thread, after the stream is marked finished.
    void finish(std::exception_ptr error = nullptr);
    // What to do when the stream ends; replaces any earlier handler.
    void onFinish(std::function<void()> handler);
    bool isFinished() const;

    // The next buffer; nullopt at the end or when `stop` is requested.
    // Rethrows the ending error once the buffers before it are read.
    std::optional<std::vector<float>> next(std::stop_token stop = {});

private:
    mutable std::mutex mutex_;
    std::condition_variable_any condition_;
    std::deque<std::vector<float>> buffers_;
    bool finished_ = false;
    std::exception_ptr error_;
    std::function<void()> onFinish_;
};

}  // namespace DovuzudUza
