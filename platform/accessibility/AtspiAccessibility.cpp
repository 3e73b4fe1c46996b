#include "platform/accessibility/AtspiAccessibility.hpp"

#include <atspi/atspi.h>

#include <mutex>
#include <type_traits>

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

// The client, or none and why: the session has no accessibility bus
// (logged once), or its bus did not answer in time.
AtspiClient* client(FocusLookup::Miss& miss) {
    static std::once_flag logged;
    miss = FocusLookup::Miss::unavailable;
    if (input::waylandWithoutX11()) {
        std::call_once(logged, [] {
            log().error("Wayland session: reading and writing other programs' fields needs X11");
        });
        return nullptr;
    }
    try {
        return &AtspiClient::shared();
    } catch (const AccessibilityError& e) {
        if (e.kind() == AccessibilityError::Kind::noAnswer) {
            miss = FocusLookup::Miss::noAnswer;
            return nullptr;
        }
        std::call_once(logged, [&] { log().error(e.description()); });
        return nullptr;
    }
}

// What an answer of the session leaves missing: nothing for a yes,
// `missing` for a no; an answer too late leaves it unknown.
TrustGap gapFor(AtspiClient::Answer answer, TrustGap missing) {
    switch (answer) {
        case AtspiClient::Answer::yes: return TrustGap::none;
        case AtspiClient::Answer::late: return TrustGap::noAnswer;
        case AtspiClient::Answer::no: break;
    }
    return missing;
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
        return noting([&]() -> std::optional<std::string> {
            if (element_->isPassword()) return std::nullopt;
            if (!element_->text()) return std::nullopt;
            const auto range = element_->selection();
            if (!range) return std::string();
            return element_->textIn(range->first, range->second);
        });
    }

    std::optional<TextRange> selectedTextRange() override {
        std::lock_guard lock(atspiMutex());
        return noting([&]() -> std::optional<TextRange> {
            const auto range = element_->selectedRange();
            if (!range) return std::nullopt;
            return TextRange{range->first, range->second};
        });
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

    bool lastReadUnanswered() override {
        std::lock_guard lock(atspiMutex());
        return lastReadUnanswered_;
    }

    bool isSame(const Element& other) const override {
        const auto* atspi = dynamic_cast<const AtspiElementRef*>(&other);
        if (atspi == nullptr) return false;
        std::lock_guard lock(atspiMutex());
        return element_->isSame(*atspi->element_);
    }

private:
    // Runs a read and notes whether the program left a request of it unanswered.
    template <typename Read>
    std::invoke_result_t<Read> noting(Read read) {
        AtspiClient::takeUnansweredNote();
        auto value = read();
        lastReadUnanswered_ = AtspiClient::takeUnansweredNote();
        return value;
    }

    std::shared_ptr<AtspiElement> element_;
    bool lastReadUnanswered_ = false;
};

}  // namespace

bool AtspiAccessibility::isProcessTrusted() { return trustGap() == TrustGap::none; }

TrustGap AtspiAccessibility::trustGap() {
    if (input::waylandWithoutX11()) return TrustGap::noX11Session;
    if (const TrustGap gap = gapFor(AtspiClient::busAvailable(), TrustGap::noAccessibilityBus); gap != TrustGap::none)
        return gap;
    if (const TrustGap gap = gapFor(AtspiClient::accessibilityEnabled(), TrustGap::assistiveTechnologiesOff);
        gap != TrustGap::none)
        return gap;
    if (!input::XTestInput::available()) return TrustGap::noSyntheticKeys;
    return TrustGap::none;
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
    // AT-SPI has no per-program switch: the desktop-wide one is turned on,
    // when the desktop says it is off (a bus too slow to answer is left alone).
    if (!input::waylandWithoutX11() && AtspiClient::accessibilityEnabled() == AtspiClient::Answer::no)
        AtspiClient::enableAccessibility();
}

ElementRef AtspiAccessibility::focusedElement(int32_t pid) { return lookUpFocus(pid).element; }

FocusLookup AtspiAccessibility::lookUpFocus(int32_t pid) {
    using Miss = FocusLookup::Miss;
    std::lock_guard lock(atspiMutex());
    Miss miss = Miss::none;
    AtspiClient* atspi = client(miss);
    if (atspi == nullptr) return {nullptr, miss};
    auto search = atspi->findFocus(pid);
    if (search.element) return {std::make_shared<AtspiElementRef>(std::move(search.element)), Miss::none};
    if (!search.listed) return {nullptr, Miss::notListed};
    return {nullptr, search.unanswered ? Miss::noAnswer : Miss::nothingFocused};
}

}  // namespace platform::accessibility
