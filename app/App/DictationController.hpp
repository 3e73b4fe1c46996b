#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <type_traits>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "app/Audio/AudioRecorder.hpp"
#include "app/Context/CapturedContext.hpp"
#include "app/Context/ScreenContext.hpp"
#include "app/Hotkey/HotkeyManager.hpp"
#include "app/Insertion/PointOfNoReturn.hpp"
#include "app/Insertion/TextInserter.hpp"
#include "app/Insertion/TextReplacement.hpp"
#include "app/Overlay/OverlayController.hpp"
#include "app/Support/DesktopServices.hpp"
#include "app/Support/Sounds.hpp"
#include "app/Support/WriterProvider.hpp"
#include "app/System/Updater.hpp"
#include "app/Transcription/Transcriber.hpp"
#include "platform/audio/AudioSystem.hpp"
#include "platform/audio/SystemSounds.hpp"
#include "platform/concurrency/Signal.hpp"
#include "platform/desktop/WindowScreenshot.hpp"
#include "platform/foundation/UUID.hpp"
#include "writing/LLMProvider.hpp"
#include "writing/SessionStore.hpp"

namespace Parlox {

// Owns one dictation at a time, from the hot key to the text inserted in the
// user's field and the few seconds in which Escape takes it back: the phase
// machine, the recorder, the captured context, the indicator, the timers,
// this run's sessions and the short history of the menu bar panel. Lives on
// the main thread; everything it waits for runs in the scheduler's
// background jobs and comes back through the main queue. A dictation never
// throws: it ends reset, idle with a short message, or failed.
class DictationController {
public:
    struct Phase {
        enum class Kind { idle, capturing, recording, paused, transcribing, writing, failed };

        Kind kind = Kind::idle;
        std::string message;  // failed: the short text shown

        static Phase idle() { return {Kind::idle, {}}; }
        static Phase capturing() { return {Kind::capturing, {}}; }
        static Phase recording() { return {Kind::recording, {}}; }
        static Phase paused() { return {Kind::paused, {}}; }
        static Phase transcribing() { return {Kind::transcribing, {}}; }
        static Phase writing() { return {Kind::writing, {}}; }
        static Phase failed(std::string message) { return {Kind::failed, std::move(message)}; }

        // Capturing, recording, paused, transcribing or writing.
        bool isBusy() const;
        // "idle", "capturing", ... as the log names the phase.
        std::string caseName() const;

        friend bool operator==(const Phase&, const Phase&) = default;
    };

    // One row of the history.
    struct Entry {
        struct Outcome {
            enum class Kind { inserted, copied, failed };

            Kind kind = Kind::inserted;
            bool selected = false;  // inserted: left selected
            std::string message;    // copied, failed: the text shown or recorded

            static Outcome inserted(bool selected) { return {Kind::inserted, selected, {}}; }
            static Outcome copied(std::string message) { return {Kind::copied, false, std::move(message)}; }
            static Outcome failed(std::string message) { return {Kind::failed, false, std::move(message)}; }
            friend bool operator==(const Outcome&, const Outcome&) = default;
        };

        platform::UUID id;
        platform::Date date;
        std::optional<std::string> app;
        CapturedContext::Method captureMethod;
        std::string original;
        std::string instruction;
        std::optional<std::string> result;
        double audioSeconds = 0;
        double transcriptionSeconds = 0;
        std::optional<double> generationSeconds;
        Outcome outcome;
    };

    static constexpr size_t historyLimit = 10;
    static constexpr double maxRecordingSeconds = 300;

    // Builds a configured writing back-end, or throws its error.
    using WriterFactory = std::function<std::unique_ptr<ParloxCore::LLMProvider>(WriterProvider, double timeout)>;

    struct Services {
        DesktopServices desktop;  // scheduler, accessibility, workspace, pasteboard, keys
        std::shared_ptr<platform::desktop::WindowScreenshot> screenshots;
        std::shared_ptr<platform::audio::AudioSystem> audio;
        std::shared_ptr<platform::audio::SystemSounds> sounds;
        std::shared_ptr<Transcriber> transcriber;
        std::shared_ptr<OverlayController> overlay;
        std::shared_ptr<Updater> updater;  // none: no postponed installs
        WriterFactory writers;             // WriterProvider::current when empty
    };

    explicit DictationController(Services services);
    ~DictationController();
    DictationController(const DictationController&) = delete;
    DictationController& operator=(const DictationController&) = delete;

    // ---- Observable state (each signal fires on a real change) ----
    const Phase& phase() const { return phase_; }
    const Transcriber::State& model() const { return model_; }
    float level() const { return level_; }
    const std::vector<Entry>& history() const { return history_; }
    const ParloxCore::SessionStore& sessions() const { return sessions_; }
    bool canRetry() const { return retryable_.has_value(); }
    // The session whose insertion Escape would undo now.
    const std::optional<platform::UUID>& undoable() const { return undoable_; }
    OverlayController& overlay() { return *overlay_; }

    platform::Signal<>& phaseChanged() { return phaseChanged_; }
    platform::Signal<>& modelChanged() { return modelChanged_; }
    platform::Signal<>& levelChanged() { return levelChanged_; }
    platform::Signal<>& historyChanged() { return historyChanged_; }
    platform::Signal<>& sessionsChanged() { return sessionsChanged_; }
    platform::Signal<>& retryableChanged() { return retryableChanged_; }

    // Takes the hot keys: toggle begins or finishes a recording, Escape
    // cancels (or undoes a result just pasted), Return and keypad Enter
    // finish a recording; Escape and Return are switched with the phase.
    void attachHotkeys(std::shared_ptr<HotkeyManager> hotkeys);
    const std::shared_ptr<HotkeyManager>& hotkeys() const { return hotkeys_; }

    // Starts loading the speech model. Called once at launch.
    void start();

    // ---- Actions (hot keys, the indicator's buttons, the menu bar panel) ----
    void beginRecording();
    void finishRecording();
    void pause();
    void resume();
    // Aborts a dictation, or at rest undoes a result just pasted. Once the
    // answer's paste key is out the dictation can no longer be aborted: the
    // answer is undone as soon as its insertion has ended.
    void cancel();
    // Runs the writing step again with the transcript of a failed dictation.
    void retry();
    // Puts back the text that was selected before the session's result.
    void undo(const platform::UUID& sessionId);
    // Puts back the session's previous result in place of the current one.
    void revertToPrevious(const platform::UUID& sessionId);

    // The short overlay text for a writing tool's error.
    static std::string shortMessage(const std::exception& error);

private:
    struct Work {
        uint64_t id = 0;
        std::stop_source stop;
    };
    // The insertion of the writing step's answer. Escape before its paste key
    // calls it off; after the key Escape asks for the undo, made once the
    // insertion has ended.
    struct Insertion {
        std::shared_ptr<PointOfNoReturn> point;
        bool undoWanted = false;
    };
    // The window picture started at the hot key, awaited by the writing step.
    struct ScreenshotTask {
        bool done = false;
        std::optional<std::filesystem::path> file;
        std::vector<std::function<void(std::optional<std::filesystem::path>)>> waiters;

        void finish(std::optional<std::filesystem::path> value) {
            done = true;
            file = std::move(value);
            for (auto& waiter : std::exchange(waiters, {})) waiter(file);
        }
        void whenDone(std::function<void(std::optional<std::filesystem::path>)> waiter) {
            if (done)
                waiter(file);
            else
                waiters.push_back(std::move(waiter));
        }
    };
    template <class T>
    struct JobResult {
        std::optional<T> value;
        std::exception_ptr error;
    };

    // ---- State rules ----
    void setPhase(Phase phase);
    void setLevel(float level);
    void setModel(const Transcriber::State& state);
    void setRetryable(std::optional<std::pair<CapturedContext, Transcriber::Result>> retryable);
    void updateEscape();
    void fail(const std::string& message, std::optional<platform::Rect> near);
    void clearSession();
    void reset();
    void addHistory(Entry entry);
    void showOverlay(OverlayModel::State state);

    // ---- Work ----
    uint64_t startWork();
    bool isCurrent(uint64_t work) const;
    std::stop_token workToken() const;
    template <class F, class Then>
    void offMain(F job, Then then);

    // ---- Recording ----
    void afterCapture(uint64_t work, uint64_t dictation, CapturedContext context);
    void afterRecorderStart(uint64_t work, uint64_t dictation, JobResult<AudioRecorder::Capture> started);
    void scheduleMaxTimer();
    void afterTranscription(uint64_t work, CapturedContext context, JobResult<Transcriber::Result> result);
    std::shared_ptr<ScreenshotTask> startScreenshot(int32_t pid);

    // ---- Writing ----
    void write(uint64_t work, CapturedContext context, Transcriber::Result heard);
    void generate(uint64_t work, CapturedContext context, Transcriber::Result heard);
    void insert(uint64_t work, uint64_t dictation, CapturedContext context, Transcriber::Result heard,
                std::optional<platform::UUID> matched, std::string text, double generationSeconds);
    void finishWriting(uint64_t dictation, const CapturedContext& context, const Transcriber::Result& heard,
                       std::optional<platform::UUID> matched, const std::string& text, double generationSeconds,
                       const TextInserter::Outcome& outcome);
    std::optional<platform::UUID> recordSession(const CapturedContext& context, const Transcriber::Result& heard,
                                                std::optional<platform::UUID> matched, const std::string& text,
                                                std::optional<int64_t> location);

    // ---- Undo ----
    void armUndo(const platform::UUID& sessionId);
    void disarmUndo();
    void showReplacementFailure(const std::string& message);

    DesktopServices desktop_;
    std::shared_ptr<platform::desktop::WindowScreenshot> screenshots_;
    std::shared_ptr<Transcriber> transcriber_;
    std::shared_ptr<OverlayController> overlay_;
    std::shared_ptr<Updater> updater_;
    WriterFactory writers_;
    Sounds sounds_;
    std::shared_ptr<AudioRecorder> recorder_;
    // The current dictation's hold on the microphone, given up when it ends:
    // a start still on its way then opens nothing.
    std::stop_source microphoneClaim_;

    Phase phase_;
    Transcriber::State model_;
    float level_ = 0;
    std::vector<Entry> history_;
    std::optional<CapturedContext> context_;
    platform::TimerHandle maxTimer_;
    std::optional<Work> work_;
    std::optional<Insertion> insertion_;
    uint64_t lastWork_ = 0;
    uint64_t dictation_ = 0;  // grows with every dictation begun or retried
    std::shared_ptr<ScreenshotTask> screenshot_;
    std::optional<std::pair<CapturedContext, Transcriber::Result>> retryable_;
    ParloxCore::SessionStore sessions_;
    std::map<platform::UUID, platform::accessibility::ElementRef> elements_;
    std::optional<platform::UUID> undoable_;
    platform::TimerHandle undoTimer_;
    std::set<platform::UUID> replacing_;  // sessions whose undo or revert is under way
    std::shared_ptr<HotkeyManager> hotkeys_;

    platform::Signal<> phaseChanged_;
    platform::Signal<> modelChanged_;
    platform::Signal<> levelChanged_;
    platform::Signal<> historyChanged_;
    platform::Signal<> sessionsChanged_;
    platform::Signal<> retryableChanged_;

    platform::Connection modelConnection_;
    platform::Connection shortcutKeysConnection_;
    // Callbacks handed out hold this weakly; once it is gone they do nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// Runs `job` in a background job and hands its value or its exception to
// `then` on the main thread, unless the controller is gone by then.
template <class F, class Then>
void DictationController::offMain(F job, Then then) {
    using R = std::invoke_result_t<F&>;
    std::weak_ptr<int> alive = alive_;
    auto scheduler = desktop_.scheduler;
    scheduler->background([job = std::move(job), then = std::move(then), alive, scheduler]() mutable {
        auto result = std::make_shared<JobResult<R>>();
        try {
            result->value.emplace(job());
        } catch (...) {
            result->error = std::current_exception();
        }
        scheduler->post([then = std::move(then), alive, result]() mutable {
            if (alive.lock()) then(std::move(*result));
        });
    });
}

}  // namespace Parlox
