#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

#include "DovuzudUza/Core/AudioChunk.hpp"

namespace DovuzudUza {

// One piece of a file loaded piece by piece. The consumer calls
// `completionSignal` once it is done with the chunk, from any thread.
struct IncrementalFileChunk {
    AudioChunk audioChunk;
    std::function<void()> completionSignal;
};

// Bounds the chunks handed out and not yet completed. Waiting producers are
// served first in, first out.
class IncrementalLoadController {
public:
    explicit IncrementalLoadController(int64_t maxBufferedChunks);

    // Takes a slot, waiting while every slot is out. Returns at once, taking
    // nothing, once the controller is terminated.
    void requestChunkSlot();
    void signalChunkConsumed();
    // Terminates: every waiter is released and no slot is counted any more.
    void resumeWaitingProducers();

    int64_t activeChunks() const;
    size_t waitingProducers() const;

private:
    struct Waiter {
        bool resumed = false;
    };

    const int64_t maxBufferedChunks_;
    mutable std::mutex mutex_;
    std::condition_variable condition_;
    int64_t activeChunks_ = 0;
    std::deque<Waiter*> waitingProducers_;
    bool isTerminated_ = false;
};

// The chunks of a file, in order, as a producer thread reads them. Reading
// ends at the end of the file, or with the error that stopped the producer.
// Destroying the stream (or cancel()) terminates it: the producer stops and
// any chunk it still makes is dropped.
class IncrementalChunkStream {
public:
    ~IncrementalChunkStream();
    IncrementalChunkStream(const IncrementalChunkStream&) = delete;
    IncrementalChunkStream& operator=(const IncrementalChunkStream&) = delete;

    // The next chunk; nullopt at the end, on cancel() or when `stop` is
    // requested while waiting. Rethrows the producer's error after the
    // chunks before it.
    std::optional<IncrementalFileChunk> next(std::stop_token stop = {});
    void cancel();
    bool isFinished() const;

    const std::shared_ptr<IncrementalLoadController>& controller() const { return controller_; }

private:
    friend class AudioProcessor;
    IncrementalChunkStream() = default;

    bool yield(IncrementalFileChunk chunk);
    void finish(std::exception_ptr error);

    mutable std::mutex mutex_;
    std::condition_variable_any condition_;
    std::deque<IncrementalFileChunk> chunks_;
    bool finished_ = false;
    bool terminated_ = false;
    std::exception_ptr error_;
    std::shared_ptr<IncrementalLoadController> controller_;
    std::jthread producer_;
};

}  // namespace DovuzudUza
