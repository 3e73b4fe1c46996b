#include "DovuzudUza/Core/AudioSampleStream.hpp"

namespace DovuzudUza {

bool AudioSampleStream::yield(std::vector<float> samples) {
    {
        std::lock_guard lock(mutex_);
        if (finished_) return false;
        buffers_.push_back(std::move(samples));
    }
    condition_.notify_one();
    return true;
}

void AudioSampleStream::finish(std::exception_ptr error) {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        finished_ = true;
        error_ = std::move(error);
        handler = std::move(onFinish_);
        onFinish_ = nullptr;
    }
    condition_.notify_all();
    if (handler) handler();
}

void AudioSampleStream::onFinish(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    onFinish_ = std::move(handler);
}

bool AudioSampleStream::isFinished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

std::optional<std::vector<float>> AudioSampleStream::next(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    condition_.wait(lock, stop, [this] { return !buffers_.empty() || finished_; });
    if (!buffers_.empty()) {
        auto samples = std::move(buffers_.front());
        buffers_.pop_front();
        return samples;
    }
    if (finished_ && error_) std::rethrow_exception(error_);
    return std::nullopt;
}

}  // namespace DovuzudUza
