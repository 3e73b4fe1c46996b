#pragma once

#include <signal.h>
#include <stdlib.h>

#include <string>

#include "platform/desktop/ClipboardOwnerProcess.hpp"
#include "platform/desktop/X11Selection.hpp"
#include "tests/support/ProcessGone.hpp"
#include "tests/support/ReadFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace parlox::testing {

// Another program takes the selection while a give-back's helper starts up,
// after Parlox decided that the selection is still its own: while the
// object lives, a clipboard helper started with a server time (a give-back)
// first has a helper of its own take the selection with `text`, and only
// then goes on. That other helper is ended when the object goes.
class TakenAtTheGiveBack {
public:
    explicit TakenAtTheGiveBack(const std::string& text) {
        const std::string helper = platform::desktop::ClipboardOwnerProcess::executable().string();
        const auto forms = folder_.writeFile("forms", platform::desktop::encodeForms(platform::desktop::textForms(text)));
        const std::string dir = folder_.path().string();
        const auto wrapper = folder_.writeFile(
            "parlox-clipboard-owner",
            "#!/bin/sh\n"
            "if [ -n \"$2\" ]; then\n"
            "  '" + helper + "' \"$1\" < '" + forms.string() + "' > '" + dir + "/taken' &\n"
            "  echo $! > '" + dir + "/pid'\n"
            "  for i in $(seq 300); do grep -q -e OWNED -e REFUSED -e FAILED '" + dir + "/taken' && break; sleep 0.01; done\n"
            "fi\n"
            "exec '" + helper + "' \"$@\"\n");
        std::filesystem::permissions(wrapper, std::filesystem::perms::owner_all);
        ::setenv("PARLOX_CLIPBOARD_OWNER", wrapper.c_str(), 1);
    }
    ~TakenAtTheGiveBack() {
        ::unsetenv("PARLOX_CLIPBOARD_OWNER");
        const std::string pid = readFile(folder_ / "pid");
        if (!pid.empty() && !processGone(std::stoi(pid))) ::kill(std::stoi(pid), SIGTERM);
    }
    TakenAtTheGiveBack(const TakenAtTheGiveBack&) = delete;
    TakenAtTheGiveBack& operator=(const TakenAtTheGiveBack&) = delete;

    // Whether the other program took the selection (a give-back started).
    bool took() const { return readFile(folder_ / "taken").find("OWNED") != std::string::npos; }

private:
    TemporaryFolder folder_;
};

}  // namespace parlox::testing
