#pragma once

#include <stop_token>
#include <string>
#include <vector>

#include "platform/concurrency/Signal.hpp"
#include "platform/foundation/Error.hpp"

namespace Parlox {

// The one place where the application meets the speech engine: it makes the
// speech model ready and turns 16 kHz mono samples into text. The
// engine-backed implementation runs its operations one at a time; this seam
// lets the dictation road run on a fake.
class Transcriber {
public:
    // Readiness of the speech model.
    struct State {
        enum class Kind { idle, loading, downloading, ready, failed };

        Kind kind = Kind::idle;
        double fraction = 0;  // downloading: completed part, 0 to 1
        std::string message;  // failed: why

        static State idle() { return {Kind::idle, 0, {}}; }
        static State loading() { return {Kind::loading, 0, {}}; }
        static State downloading(double fraction) { return {Kind::downloading, fraction, {}}; }
        static State ready() { return {Kind::ready, 0, {}}; }
        static State failed(std::string message) { return {Kind::failed, 0, std::move(message)}; }

        bool isReady() const { return kind == Kind::ready; }

        // Same case, and for downloading equal fractions, for failed equal messages.
        friend bool operator==(const State& a, const State& b) {
            if (a.kind != b.kind) return false;
            if (a.kind == Kind::downloading) return a.fraction == b.fraction;
            if (a.kind == Kind::failed) return a.message == b.message;
            return true;
        }
    };

    // One transcription.
    struct Result {
        std::string text;
        double audioSeconds = 0;  // sample count / 16000
        double elapsed = 0;       // seconds spent transcribing

        friend bool operator==(const Result&, const Result&) = default;
    };

    // Thrown by transcribe() while no model is loaded.
    class TranscriberError : public platform::Error {
    public:
        enum class Kind { notReady };
        explicit TranscriberError(Kind kind = Kind::notReady) : kind_(kind) {}
        Kind kind() const { return kind_; }
        std::string description() const override { return "notReady"; }
        std::string localizedDescription() const override {
            return "El modelo de transcripción todavía no está cargado.";
        }
        friend bool operator==(const TranscriberError& a, const TranscriberError& b) { return a.kind_ == b.kind_; }

    private:
        Kind kind_;
    };

    virtual ~Transcriber() = default;

    // Starts making the model ready in the background unless it is ready or
    // on its way; returns at once. Every state reached is announced on
    // stateChanged(); a failure ends in State::failed and is never thrown.
    virtual void prepare() = 0;

    // Transcribes 16 kHz mono samples with the fixed Spanish options; blocks
    // until done (call it off the main thread). Throws TranscriberError while
    // no model is loaded, or the engine's error.
    virtual Result transcribe(const std::vector<float>& samples, std::stop_token stop = {}) = 0;

    // Announces each state prepare() reaches, from any thread.
    platform::Signal<const State&>& stateChanged() { return stateChanged_; }

protected:
    void report(const State& state) { stateChanged_.emit(state); }

private:
    platform::Signal<const State&> stateChanged_;
};

}  // namespace Parlox
