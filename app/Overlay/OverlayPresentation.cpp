#include "app/Overlay/OverlayPresentation.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/Hotkey/DictationShortcut.hpp"

namespace Parlox {
namespace {

using Button = OverlayPresentation::Button;
using Action = OverlayPresentation::Action;

// The help names the user's shortcut as it is now.
Button finishDisc() {
    const auto shortcut = DictationShortcut::name();
    const std::string keys = shortcut ? "Intro o " + *shortcut : "Intro";
    return {"checkmark", 12, Symbols::Weight::semibold, "Terminar y redactar (" + keys + ") \u00B7 Esc cancela",
            Action::stop, true};
}
const Button retryDisc{"arrow.clockwise", 12, Symbols::Weight::semibold, "Reintentar con lo que dictaste",
                       Action::retry, true};
const Button closeDisc{"xmark", 10, Symbols::Weight::semibold, "Cerrar", Action::dismiss, true};
const Button pauseIcon{"mic", 15, Symbols::Weight::regular, "Pausar", Action::pause, false};
const Button resumeIcon{"mic.slash", 15, Symbols::Weight::regular, "Reanudar", Action::resume, false};

}  // namespace

OverlayPresentation OverlayPresentation::of(const OverlayModel::State& state) {
    using Kind = OverlayModel::State::Kind;
    OverlayPresentation p;
    switch (state.kind) {
        case Kind::hidden:
            p.contentKey = "hidden";
            break;
        case Kind::recording:
        case Kind::paused:
            p.row = Row::recording;
            p.paused = state.kind == Kind::paused;
            p.glow = p.paused ? VoiceGlow::Mode::off : VoiceGlow::Mode::voice;
            p.accessibilityLabel = p.paused ? "En pausa" : "Grabando";
            p.contentKey = "recording";
            p.leadingPadding = 7;
            p.trailingPadding = 7;
            p.buttons = {p.paused ? resumeIcon : pauseIcon, finishDisc()};
            break;
        case Kind::working:
            p.row = Row::text;
            p.glow = VoiceGlow::Mode::beam;
            p.accessibilityLabel = state.text;
            p.contentKey = "working";
            p.text = state.text;
            p.leadingPadding = p.trailingPadding = 20;
            break;
        case Kind::done:
            p.row = Row::text;
            p.accessibilityLabel = state.text;
            p.contentKey = "done-" + state.text;
            p.text = state.text;
            p.symbol = "checkmark.circle.fill";
            p.leadingPadding = p.trailingPadding = 16;
            break;
        case Kind::error:
            p.row = Row::error;
            p.accessibilityLabel = state.text;
            p.contentKey = "error-" + state.text;
            p.text = state.text;
            p.symbol = "exclamationmark.triangle.fill";
            p.leadingPadding = 14;
            p.trailingPadding = 7;
            p.buttons = {state.canRetry ? retryDisc : closeDisc};
            break;
    }
    return p;
}

std::string formatClock(double seconds) {
    long long whole = std::isfinite(seconds) ? static_cast<long long>(std::trunc(std::min(seconds, 1e15))) : 0;
    if (whole < 0) whole = 0;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld", whole / 60, whole % 60);
    return text;
}

}  // namespace Parlox
