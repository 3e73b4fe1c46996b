#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/App/DictationController.hpp"
#include "platform/concurrency/Task.hpp"
#include "writing/LLMProvider.hpp"

namespace dictation_test {

// The writing tool for tests: answers from a queue (a text or an error),
// records every request, and can run a hook while "the tool runs".
struct FakeWriterScript {
    std::mutex mutex;
    std::deque<std::function<std::string()>> answers;
    std::vector<ParloxCore::GenerationRequest> requests;
    std::vector<Parlox::WriterProvider> providers;
    std::vector<double> timeouts;
    std::function<void(std::stop_token)> whileRunning;
    std::exception_ptr factoryError;  // thrown while locating the tool

    void answer(std::string text) {
        std::lock_guard lock(mutex);
        answers.push_back([text] { return text; });
    }
    template <class E>
    void fail(E error) {
        std::lock_guard lock(mutex);
        answers.push_back([error]() -> std::string { throw error; });
    }
};

class FakeWriter final : public ParloxCore::LLMProvider {
public:
    explicit FakeWriter(std::shared_ptr<FakeWriterScript> script) : script_(std::move(script)) {}
    std::string name() const override { return "Fake"; }
    std::string generate(const ParloxCore::GenerationRequest& request, std::stop_token stop) const override {
        std::function<std::string()> answer;
        {
            std::lock_guard lock(script_->mutex);
            script_->requests.push_back(request);
            if (!script_->answers.empty()) {
                answer = std::move(script_->answers.front());
                script_->answers.pop_front();
            }
        }
        if (script_->whileRunning) script_->whileRunning(stop);
        platform::Task::checkCancellation(stop);
        return answer ? answer() : std::string("respuesta");
    }

private:
    std::shared_ptr<FakeWriterScript> script_;
};

inline Parlox::DictationController::WriterFactory fakeWriters(std::shared_ptr<FakeWriterScript> script) {
    return [script](Parlox::WriterProvider provider, double timeout) -> std::unique_ptr<ParloxCore::LLMProvider> {
        {
            std::lock_guard lock(script->mutex);
            script->providers.push_back(provider);
            script->timeouts.push_back(timeout);
        }
        if (script->factoryError) std::rethrow_exception(script->factoryError);
        return std::make_unique<FakeWriter>(script);
    };
}

}  // namespace dictation_test
