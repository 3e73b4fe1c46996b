#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/accessibility/Accessibility.hpp"
#include "platform/foundation/Geometry.hpp"

namespace Parlox {

// The target of a dictation, as read at the hot key.
struct CapturedContext {
    // How the selection was obtained.
    class Method {
    public:
        enum Value { accessibility, clipboard, none };

        constexpr Method(Value value = none) : value_(value) {}
        constexpr operator Value() const { return value_; }

        // "Accesibilidad", "⌘C", "ninguno".
        std::string rawValue() const;
        static std::optional<Method> fromRawValue(std::string_view raw);
        static constexpr std::array<Value, 3> allCases() { return {accessibility, clipboard, none}; }

    private:
        Value value_;
    };

    std::optional<std::string> appName;
    std::optional<std::string> bundleID;
    std::optional<int32_t> pid;  // none only when no application was in front
    platform::accessibility::ElementRef element;
    std::string selectedText;
    std::optional<platform::accessibility::TextRange> selectedRange;  // only when read through accessibility
    bool isSecure = false;
    Method method;
    std::optional<platform::Rect> caretRect;  // screen coordinates, top-left origin
    std::optional<std::filesystem::path> screenshot;
    // Why the capture left accessibility, or took it only at a second try;
    // empty on the plain road. For the log.
    std::string roadNote;
};

}  // namespace Parlox
