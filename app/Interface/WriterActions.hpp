#pragma once

#include <functional>
#include <string>

#include "app/Support/WriterProvider.hpp"

namespace Parlox {

// The outside steps the windows offer next to a writing tool: install it,
// sign in, see the plans. Each returns at once.
struct WriterActions {
    // Called on the GUI thread with what to do by hand when a step could
    // not be opened (no terminal, no browser), for the window to show.
    using Tell = std::function<void(const std::string& byHand)>;

    std::function<void(WriterProvider, Tell)> install;
    std::function<void(WriterProvider, Tell)> signIn;
    std::function<void(Tell)> seePlans;

    // The installer or page (WriterProvider::openInstall), the sign-in in a
    // terminal (located off the GUI thread, since locating may run the login
    // shell), and the Claude plans page in the browser.
    static WriterActions system();
};

}  // namespace Parlox
