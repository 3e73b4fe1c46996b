#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/desktop/PowerAssertion.hpp"
#include "platform/foundation/UniqueFd.hpp"

namespace platform::desktop {

class X11Desktop;

// Keep-awake over D-Bus: the session's screen saver is asked not to blank
// (org.freedesktop.ScreenSaver Inhibit) and logind not to treat the session
// as idle (an "idle" inhibitor lock, held as a file descriptor). Either one
// suffices; the request fails only when both refuse. Idle time comes from
// the X server's screen saver extension.
class DBusPowerAssertion final : public PowerAssertion {
public:
    // `loginBusAddress` names the bus logind is reached on; empty: the system bus.
    explicit DBusPowerAssertion(std::string loginBusAddress = {});
    ~DBusPowerAssertion() override;

    uint32_t preventDisplaySleep(const std::string& reason) override;
    void release(uint32_t assertion) override;
    // 0 when the X server cannot tell.
    double idleSeconds() override;

private:
    struct Held {
        std::optional<uint32_t> cookie;
        UniqueFd lockFd;  // logind holds off idle actions while it is open
    };
    const std::string loginBusAddress_;
    std::mutex mutex_;
    std::map<uint32_t, Held> held_;
    uint32_t next_ = 0;
    // One X connection for the idle readings, opened at the first one.
    std::mutex idleMutex_;
    std::unique_ptr<X11Desktop> idleDisplay_;
};

}  // namespace platform::desktop
