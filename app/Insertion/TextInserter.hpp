#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/Context/CapturedContext.hpp"
#include "app/Insertion/PointOfNoReturn.hpp"
#include "app/Support/DesktopServices.hpp"

namespace Parlox {

// Puts a finished text where the user was working: pastes it into the
// focused field of the application that was in front at the hot key and
// selects it, or, when it cannot paste safely, leaves it on the pasteboard
// and says so. A terminal takes it at its cursor, unselected; a text of
// several lines goes to the pasteboard instead (a shell would run every
// line but the last), also for a program that may be a terminal unless its
// focus is a text field read over accessibility. The paste key waits for
// Escape and the dictation shortcut to be let go, and goes only while the
// program is still in front. Blocks about half a second (more for a
// program slow to take the paste): call it off the main thread.
class TextInserter {
public:
    struct Outcome {
        // failed: neither pasted nor on the pasteboard (it did not take it).
        // calledOff: the insertion was called off before its key or copy:
        // nothing happened.
        enum class Kind { inserted, copied, failed, calledOff };

        Kind kind = Kind::inserted;
        std::optional<int64_t> at;  // inserted: UTF-16 location of the pasted text, when known
        bool selected = false;      // inserted: the pasted text is now selected
        std::string message;        // copied, failed: what to tell the user

        static Outcome inserted(std::optional<int64_t> at, bool selected) { return {Kind::inserted, at, selected, {}}; }
        static Outcome copied(std::string message) { return {Kind::copied, std::nullopt, false, std::move(message)}; }
        static Outcome failed(std::string message) { return {Kind::failed, std::nullopt, false, std::move(message)}; }
        static Outcome calledOff() { return {Kind::calledOff, std::nullopt, false, {}}; }
        friend bool operator==(const Outcome&, const Outcome&) = default;
    };

    static constexpr double selectDelay = 0.06;
    static constexpr const char* noPermissionMessage = "Sin Accesibilidad: copiado al portapapeles";
    static constexpr const char* switchedAppMessage = "Cambiaste de app: copiado al portapapeles";
    // The field did not take the paste (read-only, or it ignores the key).
    static constexpr const char* notPastedMessage = "No se pudo pegar: copiado al portapapeles";
    // The pasteboard did not take the text either.
    static constexpr const char* notCopiedMessage = "No se pudo copiar al portapapeles";
    // A terminal would run the lines as they arrive.
    static constexpr const char* severalLinesMessage = "Varias líneas en un terminal: copiado al portapapeles";
    // Escape or the dictation shortcut stayed down: its grab would have taken the paste key.
    static constexpr const char* keyHeldMessage = "Esc o el atajo sin soltar: copiado al portapapeles";

    // Passes `point`, when given, right before the key or the copy, and
    // does nothing at all when it was called off before (not even write the
    // pasteboard). Past a point into a program taken as a terminal, no undo
    // is to follow.
    static Outcome insert(const std::string& text, const CapturedContext& context, const DesktopServices& desktop,
                          PointOfNoReturn* point = nullptr);

    // Selects (location, UTF-16 length of `text`); true when the element took it.
    static bool select(const platform::accessibility::ElementRef& element, int64_t location, const std::string& text);
    // Read back after the paste: false when the field does not show `text` at
    // `location` (what it selected differs, its caret did not move past the
    // text, or it no longer answers); a selection it took but cannot read
    // back counts as holding it.
    static bool landed(const platform::accessibility::ElementRef& element, int64_t location,
                       const std::string& text, bool selected);
    // Where a terminal shows `text`: just before its cursor, once the cursor
    // has moved past `cursorBefore`; none when it does not settle so.
    static std::optional<int64_t> landedAtCursor(const platform::accessibility::ElementRef& element,
                                                 int64_t cursorBefore, const std::string& text,
                                                 platform::Scheduler& scheduler);

private:
    static Outcome insertAtCursor(const std::string& text, const CapturedContext& context,
                                  const DesktopServices& desktop, PointOfNoReturn* point);
};

}  // namespace Parlox
