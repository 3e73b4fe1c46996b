#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Overlay/OverlayModel.hpp"
#include "app/Overlay/Symbols.hpp"
#include "app/Overlay/VoiceGlow.hpp"

namespace Parlox {

// How the indicator presents one state of its model: which row the pill
// holds, its glow, what it announces, the key that tells contents apart
// (a new key swaps the content, the same key updates it in place), and the
// buttons with their symbols, help texts and the model action they call.
struct OverlayPresentation {
    enum class Row { none, recording, text, error };
    enum class Action { pause, resume, stop, retry, dismiss };

    struct Button {
        std::string symbol;
        double symbolSize = 15;
        Symbols::Weight weight = Symbols::Weight::regular;
        std::string help;
        Action action = Action::stop;
        bool disc = true;  // a filled disc, or a plain icon

        friend bool operator==(const Button&, const Button&) = default;
    };

    Row row = Row::none;
    bool paused = false;
    VoiceGlow::Mode glow = VoiceGlow::Mode::off;
    std::string accessibilityLabel;
    std::string contentKey;
    std::string text;                   // text and error rows
    std::optional<std::string> symbol;  // before the text
    double leadingPadding = 0;
    double trailingPadding = 0;  // after the text (text row) or the disc
    std::vector<Button> buttons;

    // The finish disc's help names the user's dictation shortcut as it is at the call.
    static OverlayPresentation of(const OverlayModel::State& state);

    friend bool operator==(const OverlayPresentation&, const OverlayPresentation&) = default;
};

// The recording clock "mm:ss": whole seconds truncated, never negative,
// minutes not wrapped into hours.
std::string formatClock(double seconds);

}  // namespace Parlox
