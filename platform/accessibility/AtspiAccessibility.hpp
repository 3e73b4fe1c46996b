#pragma once

#include "platform/accessibility/Accessibility.hpp"

namespace platform::accessibility {

// Accessibility through AT-SPI. Trusted means: the session has the
// accessibility bus with the desktop's accessibility switch on, and the X
// server takes synthetic keys (XTest). A session bus that gives no answer
// within 2 s leaves the trust unknown (TrustGap::noAnswer), not missing.
// Under Wayland nothing is trusted and every read is absent; the first use
// logs why.
class AtspiAccessibility final : public Accessibility {
public:
    bool isProcessTrusted() override;
    TrustGap trustGap() override;
    // Turns the desktop's accessibility switch on (programs started after
    // this expose their widgets) and answers isProcessTrusted().
    bool requestTrust() override;
    void exposeApplication(int32_t pid) override;
    ElementRef focusedElement(int32_t pid) override;
    FocusLookup lookUpFocus(int32_t pid) override;
};

}  // namespace platform::accessibility
