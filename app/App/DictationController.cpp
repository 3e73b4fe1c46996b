#include "app/App/DictationController.hpp"

#include "app/Support/Log.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "writing/ClaudeCodeProvider.hpp"
#include "writing/CodexProvider.hpp"

namespace Parlox {

using OverlayState = OverlayModel::State;

namespace {

template <class ToolError>
std::string toolShortMessage(const ToolError& error, const std::string& tool) {
    using Kind = typename ToolError::Kind;
    switch (error.kind()) {
        case Kind::notInstalled:
            return "Sin " + tool;
        case Kind::timedOut:
            return "Sin respuesta";
        case Kind::failed:
            return tool + " falló";
        case Kind::notLoggedIn:
            return "Sin sesión";
        case Kind::quotaExceeded:
            return "Sin cuota";
        case Kind::emptyResponse:
            return "Respuesta vacía";
    }
    return "Error";
}

}  // namespace

bool DictationController::Phase::isBusy() const {
    return kind == Kind::capturing || kind == Kind::recording || kind == Kind::paused ||
           kind == Kind::transcribing || kind == Kind::writing;
}

std::string DictationController::Phase::caseName() const {
    switch (kind) {
        case Kind::idle:
            return "idle";
        case Kind::capturing:
            return "capturing";
        case Kind::recording:
            return "recording";
        case Kind::paused:
            return "paused";
        case Kind::transcribing:
            return "transcribing";
        case Kind::writing:
            return "writing";
        case Kind::failed:
            return "failed";
    }
    return {};
}

DictationController::DictationController(Services services)
    : desktop_(std::move(services.desktop)),
      screenshots_(std::move(services.screenshots)),
      transcriber_(std::move(services.transcriber)),
      overlay_(std::move(services.overlay)),
      updater_(std::move(services.updater)),
      writers_(services.writers ? std::move(services.writers) : WriterFactory(&WriterProvider::current)),
      sounds_(std::move(services.sounds)),
      recorder_(std::make_shared<AudioRecorder>(std::move(services.audio), desktop_.scheduler)) {
    std::weak_ptr<int> alive = alive_;
    auto scheduler = desktop_.scheduler;
    // States may come from any thread; they are stored on the main thread.
    modelConnection_ = transcriber_->stateChanged().connect([this, alive, scheduler](const Transcriber::State& state) {
        scheduler->post([this, alive, state] {
            if (alive.lock()) setModel(state);
        });
    });
    recorder_->setOnLevel([this, alive](float level) {
        if (!alive.lock()) return;
        setLevel(level);
        overlay_->model().setLevel(level);
    });
    OverlayModel& model = overlay_->model();
    auto weakly = [this, alive](void (DictationController::*action)()) {
        return [this, alive, action] {
            if (alive.lock()) (this->*action)();
        };
    };
    model.setOnStop(weakly(&DictationController::finishRecording));
    model.setOnPause(weakly(&DictationController::pause));
    model.setOnResume(weakly(&DictationController::resume));
    model.setOnCancel(weakly(&DictationController::cancel));
    model.setOnRetry(weakly(&DictationController::retry));
    model.setOnDismiss([this, alive] {
        if (!alive.lock()) return;
        if (phase_.kind == Phase::Kind::failed) setPhase(Phase::idle());
        showOverlay(OverlayState::hidden());
    });
}

DictationController::~DictationController() {
    modelConnection_.disconnect();
    shortcutKeysConnection_.disconnect();
    recorder_->setOnLevel(nullptr);
    maxTimer_.cancel();
    undoTimer_.cancel();
    if (work_) work_->stop.request_stop();
    microphoneClaim_.request_stop();
}

void DictationController::start() {
    platform::MainQueue::assertMainThread("DictationController");
    transcriber_->prepare();
}

// ---- State rules -------------------------------------------------------------------------------

void DictationController::setPhase(Phase phase) {
    const bool changed = phase != phase_;
    phase_ = std::move(phase);
    if (changed) phaseChanged_.emit();
    // Runs after every assignment, also of the same phase.
    updateEscape();
    if (phase_.kind == Phase::Kind::idle && updater_) updater_->runPostponedInstall();
}

void DictationController::setLevel(float level) {
    if (level == level_) return;
    level_ = level;
    levelChanged_.emit();
}

void DictationController::setModel(const Transcriber::State& state) {
    if (state == model_) return;
    model_ = state;
    modelChanged_.emit();
}

void DictationController::setRetryable(std::optional<std::pair<CapturedContext, Transcriber::Result>> retryable) {
    const bool changed = retryable.has_value() || retryable_.has_value();
    retryable_ = std::move(retryable);
    if (changed) retryableChanged_.emit();
}

void DictationController::updateEscape() {
    // A terminal that gets the paste key has Escape back first: its text has no undo.
    const bool terminalsOwn = insertion_ && insertion_->point->passedIntoTerminal();
    if (hotkeys_) {
        const bool wanted = (phase_.isBusy() && !terminalsOwn) || undoable_.has_value();
        if (wanted != hotkeys_->cancelEnabled()) hotkeys_->setCancelEnabled(wanted);
        hotkeys_->setAcceptEnabled(phase_.kind == Phase::Kind::recording || phase_.kind == Phase::Kind::paused);
    }
    if (terminalsOwn) insertion_->point->handOverEscape();
}

void DictationController::showOverlay(OverlayState state) { overlay_->model().setState(std::move(state)); }

void DictationController::fail(const std::string& message, std::optional<platform::Rect> near) {
    clearSession();
    setPhase(Phase::failed(message));
    sounds_.play(Sounds::Cue::failure);
    showOverlay(OverlayState::error(message, retryable_.has_value()));
    overlay_->show(near);
    overlay_->hide(8);
}

void DictationController::clearSession() {
    microphoneClaim_.request_stop();
    maxTimer_.cancel();
    maxTimer_ = {};
    work_.reset();  // dropped, not cancelled
    insertion_.reset();
    context_.reset();
    setLevel(0);
    overlay_->model().setLevel(0);
}

void DictationController::reset() {
    ScreenContext::discardAll();
    screenshot_.reset();
    clearSession();
    setRetryable(std::nullopt);
    setPhase(Phase::idle());
    showOverlay(OverlayState::hidden());
}

void DictationController::addHistory(Entry entry) {
    history_.insert(history_.begin(), std::move(entry));
    if (history_.size() > historyLimit) history_.pop_back();
    historyChanged_.emit();
}

// ---- Work --------------------------------------------------------------------------------------

uint64_t DictationController::startWork() {
    work_ = Work{++lastWork_, {}};
    return work_->id;
}

bool DictationController::isCurrent(uint64_t work) const {
    return work_ && work_->id == work && !work_->stop.stop_requested();
}

std::stop_token DictationController::workToken() const { return work_ ? work_->stop.get_token() : std::stop_token(); }

// ---- Hot keys, cancel and retry ----------------------------------------------------------------

void DictationController::attachHotkeys(std::shared_ptr<HotkeyManager> hotkeys) {
    platform::MainQueue::assertMainThread("DictationController");
    hotkeys_ = std::move(hotkeys);
    if (!hotkeys_) return;
    std::weak_ptr<int> alive = alive_;
    // The jobs that send keys take these with their copy of the desktop.
    shortcutKeysConnection_ = HotkeyManager::followShortcutKeys([this, alive](std::vector<int> keys) {
        if (alive.lock()) desktop_.shortcutKeys = std::move(keys);
    });
    hotkeys_->onToggle = [this, alive] {
        if (!alive.lock()) return;
        switch (phase_.kind) {
            case Phase::Kind::idle:
            case Phase::Kind::failed:
                beginRecording();
                break;
            case Phase::Kind::recording:
            case Phase::Kind::paused:
                finishRecording();
                break;
            default:
                break;
        }
    };
    hotkeys_->onCancel = [this, alive] {
        if (alive.lock()) cancel();
    };
    hotkeys_->onAccept = [this, alive] {
        if (!alive.lock()) return;
        if (phase_.kind != Phase::Kind::recording && phase_.kind != Phase::Kind::paused) return;
        Log::info("Intro: se termina la grabación");
        finishRecording();
    };
    updateEscape();
}

void DictationController::cancel() {
    platform::MainQueue::assertMainThread("DictationController");
    switch (phase_.kind) {
        case Phase::Kind::writing:
            // The answer's paste key is out: Escape is the undo, once it is in.
            if (insertion_ && !insertion_->point->callOff()) {
                insertion_->undoWanted = true;
                break;
            }
            [[fallthrough]];
        case Phase::Kind::capturing:
        case Phase::Kind::transcribing:
            if (work_) work_->stop.request_stop();
            Log::info("Cancelado (" + phase_.caseName() + ")");
            reset();
            break;
        case Phase::Kind::recording:
        case Phase::Kind::paused:
            recorder_->stop();
            Log::info("Grabación cancelada");
            reset();
            break;
        case Phase::Kind::idle:
        case Phase::Kind::failed:
            if (undoable_) {
                const platform::UUID id = *undoable_;
                disarmUndo();
                Log::info("Esc tras pegar: se deshace");
                undo(id);
            }
            break;
    }
}

void DictationController::retry() {
    platform::MainQueue::assertMainThread("DictationController");
    if (phase_.kind != Phase::Kind::failed || !retryable_) return;
    auto [context, heard] = std::move(*retryable_);
    setRetryable(std::nullopt);
    Log::info("Reintento");
    ++dictation_;
    write(startWork(), std::move(context), std::move(heard));
}

std::string DictationController::shortMessage(const std::exception& error) {
    if (auto* claude = dynamic_cast<const ParloxCore::ClaudeCodeProvider::ClaudeError*>(&error))
        return toolShortMessage(*claude, "Claude");
    if (auto* codex = dynamic_cast<const ParloxCore::CodexProvider::CodexError*>(&error))
        return toolShortMessage(*codex, "Codex");
    return "Error";
}

}  // namespace Parlox
