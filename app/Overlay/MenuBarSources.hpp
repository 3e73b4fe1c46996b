#pragma once

#include <optional>

#include "app/App/DictationController.hpp"
#include "app/System/KeepAwakeSwitch.hpp"
#include "app/Transcription/Transcriber.hpp"
#include "platform/concurrency/Signal.hpp"
#include "platform/foundation/Date.hpp"
#include "platform/foundation/UUID.hpp"
#include "writing/DictationSession.hpp"

namespace Parlox {

// What the menu bar panel and label read of the dictation, and the actions
// they call. Main thread only; `changed` fires after any of it changes.
class MenuBarDictation {
public:
    virtual ~MenuBarDictation() = default;

    virtual DictationController::Phase phase() const = 0;
    virtual Transcriber::State model() const = 0;
    virtual bool canRetry() const = 0;
    // The newest dictation session of this run, if any.
    virtual std::optional<ParloxCore::DictationSession> latestSession() const = 0;
    // The indicator's recording clock.
    virtual double recordedSeconds(platform::Date at) const = 0;

    virtual void beginRecording() = 0;
    virtual void finishRecording() = 0;
    virtual void resume() = 0;
    virtual void cancel() = 0;
    virtual void retry() = 0;
    virtual void undo(const platform::UUID& session) = 0;
    virtual void revertToPrevious(const platform::UUID& session) = 0;

    virtual platform::Signal<>& changed() = 0;
};

// The application's dictation controller as the menu bar sees it.
class ControllerDictation final : public MenuBarDictation {
public:
    explicit ControllerDictation(DictationController& controller);

    DictationController::Phase phase() const override { return controller_.phase(); }
    Transcriber::State model() const override { return controller_.model(); }
    bool canRetry() const override { return controller_.canRetry(); }
    std::optional<ParloxCore::DictationSession> latestSession() const override;
    double recordedSeconds(platform::Date at) const override;

    void beginRecording() override { controller_.beginRecording(); }
    void finishRecording() override { controller_.finishRecording(); }
    void resume() override { controller_.resume(); }
    void cancel() override { controller_.cancel(); }
    void retry() override { controller_.retry(); }
    void undo(const platform::UUID& session) override { controller_.undo(session); }
    void revertToPrevious(const platform::UUID& session) override { controller_.revertToPrevious(session); }

    platform::Signal<>& changed() override { return changed_; }

private:
    DictationController& controller_;
    platform::Signal<> changed_;
    std::vector<platform::Connection> connections_;
};

}  // namespace Parlox
