// The writing step: the transcript, as an instruction, goes with the captured
// context to the writing tool, and the answer goes into the user's field.
#include "app/App/CommandLineTool.hpp"
#include "app/App/DictationController.hpp"
#include "app/Support/Log.hpp"
#include "app/Support/SettingsStore.hpp"
#include "app/System/Permissions.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/foundation/Unicode.hpp"

namespace Parlox {

using OverlayState = OverlayModel::State;

namespace {

std::string describeMatch(const ParloxCore::SessionStore::Match& match) {
    const char* kind = match.kind == ParloxCore::SessionStore::Match::Kind::exact ? "exact" : "edited";
    return std::string(kind) + "(" + match.id.uuidString() + ")";
}

bool isCancellation(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const platform::CancellationError&) {
        return true;
    } catch (...) {
        return false;
    }
}

std::string shortMessageOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return DictationController::shortMessage(e);
    } catch (...) {
        return "Error";
    }
}

}  // namespace

void DictationController::write(uint64_t work, CapturedContext context, Transcriber::Result heard) {
    setPhase(Phase::writing());
    showOverlay(OverlayState::working("Redactando…"));
    auto pending = context.screenshot ? nullptr : std::exchange(screenshot_, nullptr);
    if (!pending) {
        generate(work, std::move(context), std::move(heard));
        return;
    }
    std::weak_ptr<int> alive = alive_;
    pending->whenDone([this, alive, work, context, heard](std::optional<std::filesystem::path> file) mutable {
        if (!alive.lock() || !isCurrent(work)) return;
        context.screenshot = std::move(file);
        generate(work, std::move(context), std::move(heard));
    });
}

void DictationController::generate(uint64_t work, CapturedContext context, Transcriber::Result heard) {
    // A yes withdrawn since the picture was taken (or before a retry) stops it here.
    if (context.screenshot && ScreenRecordingPermission::refused()) {
        std::error_code ignored;
        std::filesystem::remove(*context.screenshot, ignored);
        context.screenshot.reset();
    }
    std::optional<platform::UUID> matched;
    std::optional<ParloxCore::Iteration> previous;
    if (!context.selectedText.empty() && context.pid) {
        const auto location = context.selectedRange ? std::optional<int64_t>(context.selectedRange->location)
                                                    : std::nullopt;
        if (auto match = sessions_.match(context.selectedText, *context.pid, location, desktop_.scheduler->now()))
            if (auto session = sessions_.session(match->id)) {
                matched = match->id;
                previous = session->iteration();
                Log::info("Iteración (" + describeMatch(*match) + ") · ronda " +
                          platform::formatUnsigned(session->rounds.size() + 1));
            }
    }
    ParloxCore::GenerationRequest request{
        .instruction = heard.text,
        .baseText = context.selectedText.empty() ? std::nullopt : std::optional<std::string>(context.selectedText),
        .appName = context.appName,
        .personalInstructions = SettingsStore::personalInstructions(),
        .previous = previous,
        .screenshot = context.screenshot,
    };
    Log::info(std::string("Captura de la ventana: ") + (context.screenshot ? "sí" : "no"));

    const auto started = desktop_.scheduler->uptime();
    const WriterProvider provider = WriterProvider::stored();
    const double timeout = CommandLineTool::timeoutSetting();
    const uint64_t dictation = dictation_;
    // Locating the tool may run the login shell: off the main thread too.
    offMain([writers = writers_, provider, timeout, request, stop = workToken()] {
        return writers(provider, timeout)->generate(request, stop);
    },
            [this, work, dictation, context, heard, matched, started, provider](JobResult<std::string> result) {
                const std::string name = provider.displayName();
                if (result.error) {
                    // Escape during writing ends the step without a trace.
                    if (isCancellation(result.error) || !isCurrent(work)) return;
                    const std::string description = platform::localizedDescription(result.error);
                    Log::error(name + ": " + description);
                    addHistory(Entry{platform::UUID(), desktop_.scheduler->now(), context.appName, context.method,
                                     context.selectedText, heard.text, std::nullopt, heard.audioSeconds,
                                     heard.elapsed, std::nullopt, Entry::Outcome::failed(description)});
                    setRetryable(std::make_pair(context, heard));
                    fail(shortMessageOf(result.error), std::nullopt);
                    return;
                }
                const double seconds = desktop_.scheduler->secondsSince(started);
                Log::info(name + ": " + platform::formatFixed(seconds, 1) + " s, " +
                          platform::formatUnsigned(platform::graphemeCount(*result.value)) + " caracteres");
                if (!isCurrent(work)) return;
                insert(work, dictation, context, heard, matched, std::move(*result.value), seconds);
            });
}

void DictationController::insert(uint64_t, uint64_t dictation, CapturedContext context, Transcriber::Result heard,
                                 std::optional<platform::UUID> matched, std::string text, double generationSeconds) {
    std::weak_ptr<int> alive = alive_;
    auto point = std::make_shared<PointOfNoReturn>([this, alive, scheduler = desktop_.scheduler] {
        scheduler->post([this, alive] {
            if (alive.lock()) updateEscape();
        });
    });
    insertion_ = Insertion{point, false};
    offMain([desktop = desktop_, text, context, point] {
        return TextInserter::insert(text, context, desktop, point.get());
    },
            [this, dictation, context, heard, matched, text, generationSeconds,
             point](JobResult<TextInserter::Outcome> r) {
                // Called off before its key: nothing happened, and the cancel said so.
                if (point->calledOff()) return;
                // The inserter never fails; once its key is out the result is kept.
                finishWriting(dictation, context, heard, matched, text, generationSeconds,
                              r.value ? *r.value : TextInserter::Outcome::inserted(std::nullopt, false));
            });
}

void DictationController::finishWriting(uint64_t dictation, const CapturedContext& context,
                                        const Transcriber::Result& heard, std::optional<platform::UUID> matched,
                                        const std::string& text, double generationSeconds,
                                        const TextInserter::Outcome& outcome) {
    using Kind = TextInserter::Outcome::Kind;
    const bool inserted = outcome.kind == Kind::inserted;
    // The answer stays in the history whatever became of it.
    addHistory(Entry{platform::UUID(), desktop_.scheduler->now(), context.appName, context.method,
                     context.selectedText, heard.text, text, heard.audioSeconds, heard.elapsed, generationSeconds,
                     inserted                    ? Entry::Outcome::inserted(outcome.selected)
                     : outcome.kind == Kind::copied ? Entry::Outcome::copied(outcome.message)
                                                    : Entry::Outcome::failed(outcome.message)});
    const auto session = recordSession(context, heard, matched, text, inserted ? outcome.at : std::nullopt);
    // A newer dictation began meanwhile: the record is kept, its state is left alone.
    if (dictation != dictation_) return;
    const bool undoWanted = insertion_ && insertion_->undoWanted;
    const bool intoTerminal = insertion_ && insertion_->point->passedIntoTerminal();
    if (inserted) {
        Log::info(std::string("Insertado") + (outcome.selected ? " y seleccionado" : ""));
        ScreenContext::discardAll();
        // A terminal's text cannot be put back: Escape and the clipboard stay
        // the user's. Armed before going idle, so Escape is never let go between.
        if (session && !intoTerminal) armUndo(*session);
        clearSession();
        setPhase(Phase::idle());
        showOverlay(OverlayState::hidden());
        // Escape came while the text went in: now that it is in, the undo.
        if (undoWanted && undoable_) cancel();
        return;
    }
    if (outcome.kind == Kind::failed) {
        // Neither in the field nor on the pasteboard: the user must be told.
        Log::error(outcome.message);
        fail(outcome.message, std::nullopt);
        return;
    }
    Log::info(outcome.message);
    clearSession();
    setPhase(Phase::idle());
    showOverlay(OverlayState::done("Copiado"));
    overlay_->hide(2.5);
}

std::optional<platform::UUID> DictationController::recordSession(const CapturedContext& context,
                                                                 const Transcriber::Result& heard,
                                                                 std::optional<platform::UUID> matched,
                                                                 const std::string& text,
                                                                 std::optional<int64_t> location) {
    const platform::Date now = desktop_.scheduler->now();
    std::optional<platform::UUID> id;
    if (matched && sessions_.session(*matched)) {
        id = matched;
        sessions_.update(*matched, [&](ParloxCore::DictationSession& session) {
            session.add(heard.text, text, now);
            if (location) session.insertLocation = location;
        });
    } else if (context.pid) {
        ParloxCore::DictationSession session(platform::UUID(), now, context.appName, *context.pid,
                                             context.selectedText, location);
        session.add(heard.text, text, now);
        id = sessions_.begin(std::move(session));
    }
    if (id && context.element) elements_[*id] = context.element;
    // Sessions that fell out of the store release their element.
    std::erase_if(elements_, [&](const auto& entry) { return !sessions_.session(entry.first); });
    if (id) sessionsChanged_.emit();
    return id;
}

}  // namespace Parlox
