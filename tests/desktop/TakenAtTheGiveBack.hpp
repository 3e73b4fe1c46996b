#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/desktop/ClipboardOwnerProcess.hpp"
#include "platform/desktop/X11Selection.hpp"
#include "tests/desktop/DesktopSession.hpp"
#include "tests/support/ReadFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace parlox::testing {

// Another program takes `selection` while a give-back's helper starts up,
// after Parlox decided that the selection is still its own: while the
// object lives, a clipboard helper started with a server time (a give-back)
// first has another helper take the selection with `text`, and only then
// goes on. That other helper is started beforehand and the object waits
// until it waits for its forms, so that its start-up does not count against
// the time the give-back allows its own helper; it is ended when the object
// goes.
class TakenAtTheGiveBack {
public:
    explicit TakenAtTheGiveBack(const std::string& text, const std::string& selection = "CLIPBOARD") {
        const std::string helper = platform::desktop::ClipboardOwnerProcess::executable().string();
        const std::string dir = folder_.path().string();
        for (const char* fifo : {"/in", "/out"})
            if (::mkfifo((dir + fifo).c_str(), 0600) != 0) throw std::runtime_error("mkfifo");
        folder_.writeFile("forms", platform::desktop::encodeForms(platform::desktop::textForms(text)));
        // Read-write ends: opening a FIFO that way never waits for the other side.
        other_.emplace(std::vector<std::string>{"/bin/sh", "-c", "exec \"$0\" \"$1\" <> '" + dir + "/in' 1<> '" +
                                                                     dir + "/out'",
                                                helper, selection},
                       [] { return true; });
        if (!eventually([&] { return readsItsInput(other_->pid(), helper); }))
            throw std::runtime_error("the other helper did not get going");
        const auto wrapper = folder_.writeFile(
            "parlox-clipboard-owner",
            "#!/bin/bash\n"
            "if [ -n \"$2\" ]; then\n"
            "  cat '" + dir + "/forms' > '" + dir + "/in'\n"
            "  read -r -t 10 said < '" + dir + "/out' && echo \"$said\" > '" + dir + "/taken'\n"
            "fi\n"
            "exec '" + helper + "' \"$@\"\n");
        std::filesystem::permissions(wrapper, std::filesystem::perms::owner_all);
        ::setenv("PARLOX_CLIPBOARD_OWNER", wrapper.c_str(), 1);
    }
    ~TakenAtTheGiveBack() { ::unsetenv("PARLOX_CLIPBOARD_OWNER"); }
    TakenAtTheGiveBack(const TakenAtTheGiveBack&) = delete;
    TakenAtTheGiveBack& operator=(const TakenAtTheGiveBack&) = delete;

    // Whether the other helper took the selection (a give-back started).
    bool took() const { return readFile(folder_ / "taken") == "OWNED\n"; }

private:
    // Whether process `pid` runs `program` and waits in a read of its
    // standard input.
    static bool readsItsInput(pid_t pid, const std::filesystem::path& program) {
        const std::filesystem::path proc = "/proc/" + std::to_string(pid);
        std::error_code ec;
        if (!std::filesystem::equivalent(proc / "exe", program, ec)) return false;
        std::ifstream in(proc / "syscall");
        long number = -1;
        std::string fd;
        return in >> number >> fd && number == SYS_read && fd == "0x0";
    }

    TemporaryFolder folder_;
    std::optional<FixtureProcess> other_;
};

}  // namespace parlox::testing
