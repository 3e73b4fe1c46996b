// Escape undo and the return to a previous version of a session's text.
#include "app/App/DictationController.hpp"
#include "app/Insertion/Clipboard.hpp"
#include "app/Support/Log.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "platform/foundation/UserDefaults.hpp"

namespace Parlox {

using OverlayState = OverlayModel::State;

namespace {

// A text put back in place of a result, or, where that failed, left on the
// pasteboard so that the user keeps it.
struct PutBack {
    TextReplacement::Outcome outcome;
    bool copied;  // failed: the user has the text (nothing to copy counts as had)
};

PutBack putBack(const DesktopServices& desktop, const TextReplacement::Target& target, const std::string& text,
                bool undoKeyAllowed) {
    auto outcome = TextReplacement::replace(desktop, target, text, undoKeyAllowed);
    // An empty text leaves the pasteboard as it was.
    bool copied = text.empty();
    if (outcome.kind == TextReplacement::Outcome::Kind::failed && !text.empty())
        copied = Clipboard(desktop).put(text);
    return {outcome, copied};
}

}  // namespace

void DictationController::armUndo(const platform::UUID& sessionId) {
    undoable_ = sessionId;
    undoTimer_.cancel();
    double seconds = platform::UserDefaults::standard().doubleValue("doneSeconds", 0);
    if (!(seconds > 0)) seconds = 6;
    std::weak_ptr<int> alive = alive_;
    undoTimer_ = desktop_.scheduler->after(seconds, [this, alive] {
        if (!alive.lock()) return;
        undoable_.reset();
        undoTimer_ = {};
        updateEscape();
    });
    updateEscape();
}

void DictationController::disarmUndo() {
    undoable_.reset();
    undoTimer_.cancel();
    undoTimer_ = {};
    updateEscape();
}

void DictationController::showReplacementFailure(const std::string& message) {
    // A dictation begun meanwhile keeps its own state and indicator.
    if (phase_.isBusy()) return;
    clearSession();
    setPhase(Phase::idle());
    showOverlay(OverlayState::done(message));
    // Shown first: a show cancels a pending timed hide.
    overlay_->show(std::nullopt);
    overlay_->hide(2.5);
}

void DictationController::undo(const platform::UUID& sessionId) {
    platform::MainQueue::assertMainThread("DictationController");
    const auto session = sessions_.session(sessionId);
    if (!session || !session->current() || session->isUndone) return;
    // A second request while the first is under way would meet the text the
    // first put back and take it for the user's own edit.
    if (!replacing_.insert(sessionId).second) return;
    auto element = elements_.find(sessionId);
    TextReplacement::Target target{session->pid, element == elements_.end() ? nullptr : element->second,
                                   session->insertLocation, *session->current()};
    const std::string original = session->original;
    const bool oneRound = session->rounds.size() == 1;
    offMain(
        [desktop = desktop_, target, original, oneRound] { return putBack(desktop, target, original, oneRound); },
        [this, sessionId, nothingToCopy = original.empty()](JobResult<PutBack> result) {
            replacing_.erase(sessionId);
            const auto [outcome, copied] =
                result.value.value_or(PutBack{TextReplacement::Outcome::failed("Error"), false});
            if (outcome.kind == TextReplacement::Outcome::Kind::failed) {
                // With no original nothing was copied: the user is told why the
                // text stays, not that something is on the pasteboard.
                if (nothingToCopy) {
                    Log::info("No se pudo deshacer: " + outcome.reason);
                    showReplacementFailure(outcome.reason);
                } else if (!copied) {
                    Log::error("No se pudo deshacer: " + outcome.reason + ". " + TextInserter::notCopiedMessage);
                    showReplacementFailure(TextInserter::notCopiedMessage);
                } else {
                    Log::info("No se pudo deshacer: " + outcome.reason + ". Original al portapapeles");
                    showReplacementFailure("Original copiado");
                }
                return;
            }
            sessions_.update(sessionId, [](ParloxCore::DictationSession& s) { s.isUndone = true; });
            sessionsChanged_.emit();
            Log::info(std::string("Deshecho (") +
                      (outcome.kind == TextReplacement::Outcome::Kind::replaced ? "Accesibilidad" : "\u2318Z") + ")");
        });
}

void DictationController::revertToPrevious(const platform::UUID& sessionId) {
    platform::MainQueue::assertMainThread("DictationController");
    const auto session = sessions_.session(sessionId);
    if (!session || !session->current() || !session->previous() || session->isUndone) return;
    if (!replacing_.insert(sessionId).second) return;
    auto element = elements_.find(sessionId);
    TextReplacement::Target target{session->pid, element == elements_.end() ? nullptr : element->second,
                                   session->insertLocation, *session->current()};
    const std::string previous = *session->previous();
    offMain(
        [desktop = desktop_, target, previous] { return putBack(desktop, target, previous, false); },
        [this, sessionId](JobResult<PutBack> result) {
            replacing_.erase(sessionId);
            if (!result.value || result.value->outcome.kind == TextReplacement::Outcome::Kind::failed) {
                const bool copied = result.value && result.value->copied;
                if (!copied) Log::error(TextInserter::notCopiedMessage);
                showReplacementFailure(copied ? "Versión copiada" : TextInserter::notCopiedMessage);
                return;
            }
            const platform::Date now = desktop_.scheduler->now();
            sessions_.update(sessionId, [now](ParloxCore::DictationSession& s) { s.revertToPrevious(now); });
            sessionsChanged_.emit();
            Log::info("Versión anterior restaurada");
            armUndo(sessionId);
        });
}

}  // namespace Parlox
