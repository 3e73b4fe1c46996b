// The recording actions: from the hot key to the hand-over to the writing step.
#include <algorithm>

#include "app/App/DictationController.hpp"
#include "app/Context/ContextCapture.hpp"
#include "app/Support/Log.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "app/System/Permissions.hpp"
#include "app/Transcription/ModelStatus.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/foundation/Unicode.hpp"
#include "writing/VoiceGate.hpp"

namespace Parlox {

using OverlayState = OverlayModel::State;

void DictationController::beginRecording() {
    platform::MainQueue::assertMainThread("DictationController");
    if (overlay_->model().state().kind != OverlayState::Kind::done) overlay_->hideAtOnce();
    setRetryable(std::nullopt);
    disarmUndo();
    screenshot_.reset();
    ScreenContext::discardAll();
    if (!model_.isReady()) {
        Log::info("Atajo con el modelo sin cargar: " + ModelStatus::text(model_));
        if (model_.kind == Transcriber::State::Kind::failed) {
            // A model that could not be made ready (offline at launch, say) is tried again.
            Log::info("Se vuelve a preparar el modelo");
            transcriber_->prepare();
            fail("Reintentando modelo", std::nullopt);
            return;
        }
        fail("Cargando modelo", std::nullopt);
        return;
    }
    setPhase(Phase::capturing());
    const uint64_t work = startWork();
    const uint64_t dictation = ++dictation_;
    // Not cut short by Escape: a copy under way must end with the user's pasteboard back.
    offMain([desktop = desktop_] { return ContextCapture::capture(desktop); },
            [this, work, dictation](JobResult<CapturedContext> result) {
                afterCapture(work, dictation, result.value ? std::move(*result.value) : CapturedContext{});
            });
}

void DictationController::afterCapture(uint64_t work, uint64_t dictation, CapturedContext context) {
    if (!isCurrent(work)) return;
    Log::info("Contexto: " + context.appName.value_or("?") + " · método " + context.method.rawValue() +
              " · selección " + platform::formatUnsigned(platform::graphemeCount(context.selectedText)) +
              " caracteres · cursor " + (context.caretRect ? "sí" : "no"));
    if (!context.roadNote.empty())
        Log::info("Camino de la captura: " + context.method.rawValue() + " (" + context.roadNote + ")");
    if (context.isSecure) {
        Log::info("Campo de contraseña: no se graba");
        fail("Campo protegido", context.caretRect);
        return;
    }
    context_ = context;
    if (!ScreenRecordingPermission::refused() && context.pid) screenshot_ = startScreenshot(*context.pid);
    microphoneClaim_ = std::stop_source();
    offMain([recorder = recorder_, claim = microphoneClaim_.get_token()] { return recorder->start(claim); },
            [this, work, dictation](JobResult<AudioRecorder::Capture> result) {
                afterRecorderStart(work, dictation, std::move(result));
            });
}

void DictationController::afterRecorderStart(uint64_t work, uint64_t dictation,
                                             JobResult<AudioRecorder::Capture> started) {
    if (dictation != dictation_ || !isCurrent(work)) {
        // Given up while the microphone opened: what this start opened is
        // closed, and a newer dictation's capture is left alone.
        if (started.value) recorder_->stop(*started.value);
        return;
    }
    if (const std::exception_ptr error = started.error) {
        Log::error("No se pudo grabar: " + platform::localizedDescription(error));
        fail("Sin micrófono", context_ ? context_->caretRect : std::nullopt);
        return;
    }
    sounds_.play(Sounds::Cue::start);
    OverlayModel& model = overlay_->model();
    model.setLevel(0);
    model.startClock();
    showOverlay(OverlayState::recording());
    overlay_->show(context_ ? context_->caretRect : std::nullopt);
    setPhase(Phase::recording());
    scheduleMaxTimer();
}

std::shared_ptr<DictationController::ScreenshotTask> DictationController::startScreenshot(int32_t pid) {
    auto task = std::make_shared<ScreenshotTask>();
    offMain([screen = ScreenContext(desktop_.workspace, screenshots_), pid]() mutable { return screen.capture(pid); },
            [task](JobResult<std::optional<std::filesystem::path>> result) {
                task->finish(result.value ? *result.value : std::nullopt);
            });
    return task;
}

void DictationController::scheduleMaxTimer() {
    maxTimer_.cancel();
    const double kept = static_cast<double>(recorder_->sampleCount()) / AudioRecorder::sampleRate;
    const double interval = std::max(maxRecordingSeconds - kept, 1.0);
    std::weak_ptr<int> alive = alive_;
    maxTimer_ = desktop_.scheduler->after(interval, [this, alive] {
        if (!alive.lock()) return;
        Log::info("Grabación al máximo de " + platform::formatInteger(static_cast<int64_t>(maxRecordingSeconds)) +
                  " s, se procesa");
        finishRecording();
    });
}

void DictationController::pause() {
    platform::MainQueue::assertMainThread("DictationController");
    if (phase_.kind != Phase::Kind::recording) return;
    recorder_->pause();
    overlay_->model().pauseClock();
    maxTimer_.cancel();
    showOverlay(OverlayState::paused());
    setPhase(Phase::paused());
    Log::info("Pausa");
}

void DictationController::resume() {
    platform::MainQueue::assertMainThread("DictationController");
    if (phase_.kind != Phase::Kind::paused) return;
    recorder_->resume();
    overlay_->model().resumeClock();
    scheduleMaxTimer();
    showOverlay(OverlayState::recording());
    setPhase(Phase::recording());
    Log::info("Reanudada");
}

void DictationController::finishRecording() {
    platform::MainQueue::assertMainThread("DictationController");
    if (!recorder_->isRunning() || !context_) return;
    maxTimer_.cancel();
    maxTimer_ = {};
    std::vector<float> samples = recorder_->stop();
    const double seconds = static_cast<double>(samples.size()) / AudioRecorder::sampleRate;
    setLevel(0);
    overlay_->model().pauseClock();
    if (seconds < 0.5) {
        Log::info("Grabación de " + platform::formatFixed(seconds, 2) + " s, demasiado corta: descartada");
        reset();
        return;
    }
    const float peak = ParloxCore::VoiceGate::peakLevel(samples, AudioRecorder::sampleRate);
    Log::info("Grabación: " + platform::formatFixed(seconds, 1) + " s, pico " + platform::formatFixed(peak, 0) +
              " dBFS");
    if (peak <= ParloxCore::VoiceGate::speechThreshold) {
        Log::info("Grabación sin voz (pico " + platform::formatFixed(peak, 0) + " dBFS): descartada");
        sounds_.play(Sounds::Cue::finish);
        showOverlay(OverlayState::done("Sin voz"));
        setPhase(Phase::idle());
        clearSession();
        overlay_->hide(1.5);
        return;
    }
    sounds_.play(Sounds::Cue::finish);
    showOverlay(OverlayState::working("Redactando…"));
    setPhase(Phase::transcribing());
    const uint64_t work = startWork();
    CapturedContext context = *context_;
    offMain([transcriber = transcriber_, samples = std::move(samples), stop = workToken()] {
        return transcriber->transcribe(samples, stop);
    },
            [this, work, context](JobResult<Transcriber::Result> result) {
                afterTranscription(work, context, std::move(result));
            });
}

void DictationController::afterTranscription(uint64_t work, CapturedContext context,
                                             JobResult<Transcriber::Result> result) {
    // Cancelled: whatever the transcriber said, nothing happens.
    if (!isCurrent(work)) return;
    if (result.error) {
        try {
            std::rethrow_exception(result.error);
        } catch (const platform::CancellationError&) {
            return;
        } catch (...) {
            Log::error("Transcripción fallida: " + platform::localizedDescription(result.error));
        }
        fail("Error al transcribir", std::nullopt);
        return;
    }
    const Transcriber::Result& heard = *result.value;
    if (ParloxCore::VoiceGate::isHallucination(heard.text)) {
        Log::info("Whisper no oyó nada útil: no se llama a Codex");
        clearSession();
        setPhase(Phase::idle());
        showOverlay(OverlayState::done("Sin voz"));
        overlay_->hide(2.5);
        return;
    }
    write(work, std::move(context), heard);
}

}  // namespace Parlox
