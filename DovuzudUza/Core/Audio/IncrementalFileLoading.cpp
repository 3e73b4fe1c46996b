#include "DovuzudUza/Core/Audio/IncrementalFileLoading.hpp"

#include <cmath>
#include <filesystem>

#include "DovuzudUza/Core/Audio/AudioLog.hpp"
#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Core/Audio/VADAudioChunker.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "platform/concurrency/Task.hpp"

namespace DovuzudUza {

// --- Controller ------------------------------------------------------------------

IncrementalLoadController::IncrementalLoadController(int64_t maxBufferedChunks) : maxBufferedChunks_(maxBufferedChunks) {}

void IncrementalLoadController::requestChunkSlot() {
    std::unique_lock lock(mutex_);
    if (isTerminated_) return;
    if (activeChunks_ < maxBufferedChunks_) {
        ++activeChunks_;
        return;
    }
    Waiter waiter;
    waitingProducers_.push_back(&waiter);
    condition_.wait(lock, [&] { return waiter.resumed; });
    if (!isTerminated_) ++activeChunks_;
}

void IncrementalLoadController::signalChunkConsumed() {
    std::lock_guard lock(mutex_);
    if (activeChunks_ < 1) return;
    const int64_t before = activeChunks_--;
    if (!waitingProducers_.empty() && before <= maxBufferedChunks_) {
        waitingProducers_.front()->resumed = true;
        waitingProducers_.pop_front();
        condition_.notify_all();
    }
}

void IncrementalLoadController::resumeWaitingProducers() {
    std::lock_guard lock(mutex_);
    isTerminated_ = true;
    for (Waiter* w : waitingProducers_) w->resumed = true;
    waitingProducers_.clear();
    condition_.notify_all();
}

int64_t IncrementalLoadController::activeChunks() const {
    std::lock_guard lock(mutex_);
    return activeChunks_;
}

size_t IncrementalLoadController::waitingProducers() const {
    std::lock_guard lock(mutex_);
    return waitingProducers_.size();
}

// --- Stream ----------------------------------------------------------------------

IncrementalChunkStream::~IncrementalChunkStream() {
    cancel();
    if (producer_.joinable()) producer_.join();
}

bool IncrementalChunkStream::yield(IncrementalFileChunk chunk) {
    {
        std::lock_guard lock(mutex_);
        if (finished_ || terminated_) return false;
        chunks_.push_back(std::move(chunk));
    }
    condition_.notify_all();
    return true;
}

void IncrementalChunkStream::finish(std::exception_ptr error) {
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        finished_ = true;
        error_ = std::move(error);
    }
    condition_.notify_all();
}

void IncrementalChunkStream::cancel() {
    {
        std::lock_guard lock(mutex_);
        if (terminated_) return;
        terminated_ = true;
        finished_ = true;
        chunks_.clear();
    }
    condition_.notify_all();
    producer_.request_stop();
    if (controller_) controller_->resumeWaitingProducers();
}

bool IncrementalChunkStream::isFinished() const {
    std::lock_guard lock(mutex_);
    return finished_ && chunks_.empty();
}

std::optional<IncrementalFileChunk> IncrementalChunkStream::next(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    condition_.wait(lock, stop, [&] { return !chunks_.empty() || finished_; });
    if (!chunks_.empty()) {
        IncrementalFileChunk chunk = std::move(chunks_.front());
        chunks_.pop_front();
        return chunk;
    }
    if (finished_ && error_) {
        auto error = error_;
        error_ = nullptr;
        std::rethrow_exception(error);
    }
    return std::nullopt;
}

// --- Loading ---------------------------------------------------------------------

std::shared_ptr<IncrementalChunkStream> AudioProcessor::loadFileIncrementally(
    const std::string& path, const AudioInputOptions::ChannelMode& channelMode, double chunkDurationSeconds,
    int64_t maxBufferedChunks, int64_t maxChunkLength, std::shared_ptr<const VoiceActivityDetector> vad) {
    if (!(chunkDurationSeconds > 0) || !std::isfinite(chunkDurationSeconds))
        throw WhisperError::loadAudioFailed("Incremental chunk duration must be greater than 0");
    if (maxBufferedChunks < 1) throw WhisperError::loadAudioFailed("Incremental chunk buffer size must be greater than 0");
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw WhisperError::loadAudioFailed("Audio file not found at path: " + path);

    std::shared_ptr<IncrementalChunkStream> stream(new IncrementalChunkStream());
    auto controller = std::make_shared<IncrementalLoadController>(maxBufferedChunks);
    stream->controller_ = controller;
    IncrementalChunkStream* out = stream.get();

    stream->producer_ = std::jthread([=](std::stop_token stop) {
        try {
            platform::audio::AudioFile file(path);
            const double totalDuration = static_cast<double>(file.length()) / file.sampleRate();
            VADAudioChunker chunker(16000, vad);
            std::vector<float> pending;
            int64_t fileOffset = 0;
            double readPosition = 0.0;
            platform::Task::checkCancellation(stop);
            // Set when a pass yielded nothing: the pending samples alone
            // cannot make a final chunk (a window shorter than the chunker's
            // padding), so one more block is read before chunking again.
            bool stalled = false;
            while (true) {
                while ((static_cast<int64_t>(pending.size()) <= maxChunkLength || stalled) &&
                       readPosition < totalDuration) {
                    stalled = false;
                    const double blockEnd = std::min(readPosition + chunkDurationSeconds, totalDuration);
                    // The last block reads to the last frame (see loadAudioAsFloatArray).
                    const std::optional<double> end =
                        blockEnd >= totalDuration ? std::nullopt : std::optional<double>(blockEnd);
                    AudioBuffer block = loadAudio(file, channelMode, readPosition, end, std::nullopt);
                    const auto samples = convertBufferToArray(block, 1024);
                    pending.insert(pending.end(), samples.begin(), samples.end());
                    readPosition = blockEnd;
                    // The audio stopped inside this block: the file is read,
                    // whatever length its header announced.
                    if (file.framePosition() < static_cast<int64_t>(blockEnd * file.sampleRate()))
                        readPosition = totalDuration;
                }
                if (pending.empty()) break;
                const auto chunks = chunker.chunkAll(pending, maxChunkLength, std::nullopt, stop);
                const bool fullyRead = readPosition >= totalDuration;
                size_t finalCount = chunks.size();
                if (!fullyRead) {
                    for (size_t i = 0; i < chunks.size(); ++i) {
                        if (chunks[i].seekOffsetIndex + maxChunkLength > static_cast<int64_t>(pending.size())) {
                            finalCount = i;
                            break;
                        }
                    }
                }
                int64_t yieldedEnd = 0;
                for (size_t i = 0; i < finalCount; ++i) {
                    platform::Task::checkCancellation(stop);
                    controller->requestChunkSlot();
                    platform::Task::checkCancellation(stop);
                    const auto& chunk = chunks[i];
                    std::weak_ptr<IncrementalLoadController> weak = controller;
                    out->yield(IncrementalFileChunk{
                        AudioChunk{fileOffset + chunk.seekOffsetIndex, chunk.audioSamples},
                        [weak] {
                            if (auto c = weak.lock()) c->signalChunkConsumed();
                        }});
                    yieldedEnd = chunk.seekOffsetIndex + static_cast<int64_t>(chunk.audioSamples.size());
                }
                if (fullyRead) break;
                stalled = finalCount == 0;
                fileOffset += yieldedEnd;
                pending.erase(pending.begin(), pending.begin() + yieldedEnd);
                platform::Task::checkCancellation(stop);
            }
            out->finish(nullptr);
        } catch (const platform::CancellationError&) {
            out->finish(nullptr);
        } catch (const std::exception& e) {
            AudioLog::error(std::string("Error loading audio file incrementally: ") + e.what());
            out->finish(std::current_exception());
        } catch (...) {
            out->finish(std::current_exception());
        }
    });
    return stream;
}

}  // namespace DovuzudUza
