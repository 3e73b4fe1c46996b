#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "app/Transcription/Transcriber.hpp"

namespace Parlox {

// A transcriber for tests. prepare() reports the scripted states (ready by
// default); transcribe() returns the queued answers in order (an answer is
// a text or an exception), and once they run out, the fallback text. The
// audio length comes from the samples; the elapsed time is `elapsed`. Not
// ready means it throws TranscriberError, as the real one does.
class FakeTranscriber final : public Transcriber {
public:
    std::vector<State> statesOnPrepare{State::ready()};
    std::string fallbackText;
    double elapsed = 0.5;
    // Called inside transcribe() before answering (e.g. to play a slow engine).
    std::function<void(std::stop_token)> whileTranscribing;

    void prepare() override {
        std::vector<State> states;
        {
            std::lock_guard lock(mutex_);
            ++prepares_;
            states = statesOnPrepare;
            if (!states.empty()) ready_ = states.back().isReady();
        }
        for (const auto& state : states) report(state);
    }

    // Announces a state as the engine would (and follows it for readiness).
    void announce(const State& state) {
        {
            std::lock_guard lock(mutex_);
            ready_ = state.isReady();
        }
        report(state);
    }

    void answer(std::string text) {
        std::lock_guard lock(mutex_);
        answers_.push_back(Answer{std::move(text), nullptr});
    }
    void fail(std::exception_ptr error) {
        std::lock_guard lock(mutex_);
        answers_.push_back(Answer{{}, std::move(error)});
    }

    Result transcribe(const std::vector<float>& samples, std::stop_token stop = {}) override {
        std::optional<Answer> answer;
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(samples.size());
            if (!ready_) throw TranscriberError();
            if (!answers_.empty()) {
                answer = std::move(answers_.front());
                answers_.pop_front();
            }
        }
        if (whileTranscribing) whileTranscribing(stop);
        if (answer && answer->error) std::rethrow_exception(answer->error);
        return Result{answer ? answer->text : fallbackText, static_cast<double>(samples.size()) / 16000.0, elapsed};
    }

    int prepares() const {
        std::lock_guard lock(mutex_);
        return prepares_;
    }
    // The sample count of every transcribe() call.
    std::vector<size_t> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    struct Answer {
        std::string text;
        std::exception_ptr error;
    };

    mutable std::mutex mutex_;
    bool ready_ = false;
    int prepares_ = 0;
    std::deque<Answer> answers_;
    std::vector<size_t> calls_;
};

}  // namespace Parlox
