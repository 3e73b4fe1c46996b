#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/Support/DesktopServices.hpp"

namespace Parlox {

// Puts earlier text back in place of a result this program pasted: brings
// the target application back to the front, selects the result where it was
// pasted, checks that it is still exactly the program's text, then pastes
// the replacement and selects it. Blocks: call it off the main thread.
struct TextReplacement {
    struct Outcome {
        enum class Kind { replaced, commandZ, failed };

        Kind kind = Kind::replaced;
        std::string reason;  // failed: what to tell the user

        static Outcome replaced() { return {Kind::replaced, {}}; }
        static Outcome commandZ() { return {Kind::commandZ, {}}; }
        static Outcome failed(std::string reason) { return {Kind::failed, std::move(reason)}; }
        friend bool operator==(const Outcome&, const Outcome&) = default;
    };

    // Where the result is and what it must still read.
    struct Target {
        int32_t pid = 0;
        platform::accessibility::ElementRef element;
        std::optional<int64_t> location;
        std::string current;  // the program's text on screen
    };

    static constexpr const char* noPermission = "Sin Accesibilidad";
    static constexpr const char* otherApp = "Estás en otra app";
    static constexpr const char* textChanged = "El texto ya no está como lo dejé";
    static constexpr const char* inTerminal = "Un terminal no deja reemplazar el texto";
    // The program's keyboard focus is in another of its fields: keys would go there.
    static constexpr const char* otherField = "Estás en otro campo";
    // The program left a question unanswered: what it shows, or where its
    // focus is, is not known.
    static constexpr const char* notAnswering = "La app no responde";

    // Replaces the result with `replacement`; when the text cannot be checked
    // and `undoKeyAllowed`, sends the undo key instead. No key is sent while
    // the program's focus is away from the element the result went into, and
    // each key goes only once Escape and the shortcut are let go and if the
    // program is still in front right before it.
    static Outcome replace(const DesktopServices& desktop, const Target& target, const std::string& replacement,
                           bool undoKeyAllowed);

    // Activates the application and waits for it to come to the front
    // (15 checks, 30 ms apart while it is not there, then 80 ms).
    static void bringBack(const DesktopServices& desktop, int32_t pid);

private:
    // Why keys would not reach the target's element (the selection is set
    // over accessibility in the target, but keys go to the focus): another
    // field has the focus, or the program does not answer; none when they
    // would. A focus away for a moment is waited for.
    static std::optional<std::string> focusAway(const DesktopServices& desktop, const Target& target);
    // Right before a key: the program is still the one in front.
    static bool isFront(const DesktopServices& desktop, int32_t pid);
    // Right before a key for `action`: why it may not go out (Escape or the
    // shortcut still held after a wait, or another program in front); none
    // when it may.
    static std::optional<std::string> keyBlocked(const DesktopServices& desktop, int32_t pid, const char* action);
};

}  // namespace Parlox
