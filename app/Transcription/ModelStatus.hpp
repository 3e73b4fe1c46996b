#pragma once

#include <string>

#include "app/Transcription/Transcriber.hpp"

namespace Parlox {

// The one-line status of the speech model shown by the menu bar panel, the
// welcome window and the voice settings. Ready, it names the user's
// dictation shortcut as it is at the call (main thread).
struct ModelStatus {
    static std::string text(const Transcriber::State& state);
};

}  // namespace Parlox
