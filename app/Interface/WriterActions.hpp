#pragma once

#include <functional>

#include "app/Support/WriterProvider.hpp"

namespace Parlox {

// The outside steps the windows offer next to a writing tool: install it,
// sign in, see the plans. Each returns at once.
struct WriterActions {
    std::function<void(WriterProvider)> install;
    std::function<void(WriterProvider)> signIn;
    std::function<void()> seePlans;

    // The installer or page (WriterProvider::openInstall), the sign-in in a
    // terminal (located off the GUI thread, since locating may run the login
    // shell), and the Claude plans page in the browser.
    static WriterActions system();
};

}  // namespace Parlox
