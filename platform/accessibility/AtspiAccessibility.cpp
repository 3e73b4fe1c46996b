#include "platform/accessibility/AtspiAccessibility.hpp"

#include <atspi/atspi.h>

#include <mutex>

#include "platform/accessibility/AccessibilityError.hpp"
#include "platform/accessibility/AtspiClient.hpp"
#include "platform/input/SessionType.hpp"
#include "platform/input/XTestInput.hpp"
#include "platform/log/SystemLog.hpp"

namespace platform::accessibility {

namespace {

// libatspi is not thread-safe: every call goes through this lock.
std::recursive_mutex& atspiMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

const SystemLogger& log() {
    static const SystemLogger logger("Parlox", "accessibility");
    return logger;
}

// The client, or none (logged once) when the session has no accessibility bus.
AtspiClient* client() {
    static std::once_flag logged;
    if (input::waylandWithoutX11()) {
        std::call_once(logged, [] {
            log().error("Wayland session: reading and writing other programs' fields needs X11");
        });
        return nullptr;
    }
    try {
        return &AtspiClient::shared();
    } catch (const AccessibilityError& e) {
        std::call_once(logged, [&] { log().error(e.description()); });
        return nullptr;
    }
}

class AtspiElementRef final : public Element {
public:
    explicit AtspiElementRef(std::shared_ptr<AtspiElement> element) : element_(std::move(element)) {}

    std::optional<std::string> role() override {
        std::lock_guard lock(atspiMutex());
        switch (element_->role()) {
            case AtspiElement::Role::passwordText: return std::string(roles::passwordText);
            case AtspiElement::Role::terminal: return std::string(roles::terminal);
            case AtspiElement::Role::text: return std::string(roles::text);
            case AtspiElement::Role::other: break;
        }
        GError* error = nullptr;
        gchar* name = atspi_accessible_get_role_name(static_cast<AtspiAccessible*>(element_->object()), &error);
        if (error != nullptr) g_error_free(error);
        if (name == nullptr) return std::nullopt;
        std::string out = name;
        g_free(name);
        return out;
    }

    std::optional<std::string> subrole() override { return std::nullopt; }

    std::optional<std::string> selectedText() override {
        std::lock_guard lock(atspiMutex());
        if (element_->isPassword()) return std::nullopt;
        if (!element_->text()) return std::nullopt;
        const auto range = element_->selection();
        if (!range) return std::string();
        return element_->textIn(range->first, range->second);
    }

    std::optional<TextRange> selectedTextRange() override {
        std::lock_guard lock(atspiMutex());
        const auto range = element_->selectedRange();
        if (!range) return std::nullopt;
        return TextRange{range->first, range->second};
    }

    std::optional<int64_t> caretOffset() override {
        std::lock_guard lock(atspiMutex());
        if (element_->isPassword()) return std::nullopt;
        const auto caret = element_->caret();
        if (!caret) return std::nullopt;
        return *caret;
    }

    std::optional<std::string> textInRange(const TextRange& range) override {
        std::lock_guard lock(atspiMutex());
        if (element_->isPassword()) return std::nullopt;
        return element_->textIn(static_cast<long>(range.location), static_cast<long>(range.length));
    }

    bool setSelectedTextRange(const TextRange& range) override {
        std::lock_guard lock(atspiMutex());
        return element_->select(static_cast<long>(range.location), static_cast<long>(range.length));
    }

    std::optional<Rect> boundsForRange(const TextRange& range) override {
        std::lock_guard lock(atspiMutex());
        return element_->bounds(static_cast<long>(range.location), static_cast<long>(range.length));
    }

private:
    std::shared_ptr<AtspiElement> element_;
};

}  // namespace

bool AtspiAccessibility::isProcessTrusted() {
    if (input::waylandWithoutX11()) return false;
    return AtspiClient::busAvailable() && AtspiClient::accessibilityEnabled() && input::XTestInput::available();
}

bool AtspiAccessibility::requestTrust() {
    if (input::waylandWithoutX11()) {
        log().error("Wayland session: accessibility cannot be granted to Parlox");
        return false;
    }
    if (!AtspiClient::enableAccessibility()) log().error("The accessibility switch could not be turned on");
    return isProcessTrusted();
}

void AtspiAccessibility::exposeApplication(int32_t) {
    // AT-SPI has no per-program switch: the desktop-wide one is turned on.
    if (!input::waylandWithoutX11() && !AtspiClient::accessibilityEnabled()) AtspiClient::enableAccessibility();
}

ElementRef AtspiAccessibility::focusedElement(int32_t pid) {
    std::lock_guard lock(atspiMutex());
    AtspiClient* atspi = client();
    if (atspi == nullptr) return nullptr;
    auto element = atspi->focusedElement(pid);
    if (!element) return nullptr;
    return std::make_shared<AtspiElementRef>(std::move(element));
}

}  // namespace platform::accessibility
