#include "platform/process/CleanSpawn.hpp"

#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace platform::process {

void spawnClean(posix_spawn_file_actions_t& actions, posix_spawnattr_t& attributes, short flags) {
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_setflags(&attributes, static_cast<short>(flags | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2, SIGTSTP, SIGTTIN,
                    SIGTTOU, SIGXFSZ})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
}

}  // namespace platform::process
