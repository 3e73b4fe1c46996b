#pragma once

#include <optional>
#include <vector>

#include "app/Context/CapturedContext.hpp"
#include "app/Support/DesktopServices.hpp"

namespace Parlox {

// Reads what the user is working on at the hot key: the application in
// front, its focused element, whether it is a password field, the selected
// text and range and the caret's rectangle; without an accessible selection,
// the text the application copies. Never fails: whatever is missing is
// missing from the result. Blocks (requests to the application, the copy's
// polls): call it off the main thread.
struct ContextCapture {
    // A program whose focus is away for a moment is waited for, and one that
    // does not answer in time gets a second try, before the capture leaves
    // accessibility for the copy key; roadNote says why it left.
    static CapturedContext capture(const DesktopServices& desktop);

    static constexpr const char* noAnswerNote = "la app no respondió a tiempo (2 intentos)";
    static constexpr const char* noSelectionNote = "el elemento con el foco no da texto seleccionado";
    static constexpr const char* secondTryNote = "respondió al segundo intento";
    static constexpr const char* focusLateNote = "el foco volvió a la app tras un momento";

    // The on-screen rectangle of a range: the first candidate range whose
    // bounds have some height and touch a screen (grown by 1 on each side).
    // A caret (length 0) also tries the next and the previous character and
    // is given a width of 1.
    static std::optional<platform::Rect> caretRect(platform::accessibility::Element& element,
                                                   const platform::accessibility::TextRange& range,
                                                   const std::vector<platform::Rect>& screens);
};

}  // namespace Parlox
