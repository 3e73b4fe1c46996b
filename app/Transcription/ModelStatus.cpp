#include "app/Transcription/ModelStatus.hpp"

#include <algorithm>
#include <cmath>

#include "app/Hotkey/DictationShortcut.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace Parlox {

std::string ModelStatus::text(const Transcriber::State& state) {
    using Kind = Transcriber::State::Kind;
    switch (state.kind) {
        case Kind::downloading: {
            // A fraction outside 0...1, or not a number, shows as its nearest end (0 for NaN).
            const double fraction = std::isnan(state.fraction) ? 0.0 : std::clamp(state.fraction, 0.0, 1.0);
            const auto percent = static_cast<int64_t>(std::trunc(fraction * 100.0));
            return "Descargando modelo\u2026 " + platform::formatInteger(percent) + " %";
        }
        case Kind::failed:
            return "Error del modelo: " + state.message;
        case Kind::idle:
            return "Modelo sin cargar";
        case Kind::loading:
            return "Cargando modelo (la primera vez tarda unos minutos)\u2026";
        case Kind::ready: {
            const auto shortcut = DictationShortcut::name();
            return shortcut ? "Listo \u00B7 " + *shortcut + " para dictar"
                            : "Listo \u00B7 Sin atajo para dictar";
        }
    }
    return {};
}

}  // namespace Parlox
