#include "platform/input/X11HotKeyService.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <xcb/xcb.h>
// This header names a struct member after a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/foundation/UniqueFd.hpp"
#include "platform/input/CarbonModifiers.hpp"
#include "platform/input/InputError.hpp"
#include "platform/input/X11Keycodes.hpp"
#include "platform/log/SystemLog.hpp"

namespace platform::input {
namespace {

constexpr std::uint8_t kBadAccess = 10;

template <class T>
struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <class T>
using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

std::string describeKey(int carbonKeyCode, int carbonModifiers) {
    return "tecla " + std::to_string(carbonKeyCode) + ", modificadores " +
           std::to_string(carbonModifiers);
}

}  // namespace

struct X11HotKeyService::State {
    struct Grab {
        xcb_keycode_t keycode;
        std::uint16_t modifiers;
        std::vector<std::uint16_t> lockCombinations;
    };

    explicit State(MainQueue& q) : queue(q), log("qz.tamo.Parlox", "hotkeys") {}

    MainQueue& queue;
    SystemLogger log;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_keycode_t minKeycode = 8, maxKeycode = 255;
    bool hasKeyboardExtension = false;
    bool detectableAutoRepeat = false;
    platform::UniqueFd wakeFd;
    std::thread reader;
    std::atomic<bool> stopping{false};
    std::atomic<std::size_t> droppedRepeats{0};

    EventHandler handler;  // main thread only

    std::mutex mutex;  // guards grabs and the lock masks
    std::map<std::uint32_t, Grab> grabs;

    // Keys pressed and not yet released, with the hot key that took them and
    // the server time of their last press. Reader thread only.
    struct Held {
        std::uint32_t id;
        xcb_timestamp_t lastPress;
    };
    std::map<xcb_keycode_t, Held> held;
    // A press of a held key later than this after the previous one is a new
    // press whose release got lost, not an auto-repeat.
    xcb_timestamp_t repeatWindowMs = 2000;

    void wake() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd.get(), &one, sizeof one);
    }

    void deliver(std::uint32_t id, HotKeyEventKind kind, const std::shared_ptr<State>& self) {
        std::weak_ptr<State> weak = self;
        queue.enqueue([weak, id, kind] {
            if (auto s = weak.lock(); s && s->handler) s->handler(id, kind);
        });
    }

    std::uint16_t lockMask = x11mask::lock;
    std::uint16_t numLockMask = 0;
    std::uint16_t scrollLockMask = 0;

    // Reads the keymap and the modifiers the lock keys sit on.
    xkb_keymap* loadKeymap(xkb_context* context) {
        return hasKeyboardExtension ? loadCoreKeymap(connection, context) : nullptr;
    }

    // Finds the modifiers Num Lock and Scroll Lock sit on; call with the mutex held.
    void readLockModifiers(xkb_keymap* keymap) {
        numLockMask = keymap ? 0 : (1 << 4);  // Mod2 is Num Lock almost everywhere
        scrollLockMask = 0;
        if (!keymap) return;
        auto cookie = xcb_get_modifier_mapping(connection);
        XcbReply<xcb_get_modifier_mapping_reply_t> reply(
            xcb_get_modifier_mapping_reply(connection, cookie, nullptr));
        if (!reply) {
            numLockMask = 1 << 4;
            return;
        }
        const int perModifier = reply->keycodes_per_modifier;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply.get());
        for (int mod = 0; mod < 8; ++mod) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[mod * perModifier + i];
                if (!code) continue;
                const xkb_keysym_t* syms = nullptr;
                const int n = xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &syms);
                for (int k = 0; k < n; ++k) {
                    if (syms[k] == XKB_KEY_Num_Lock) numLockMask |= (1 << mod);
                    if (syms[k] == XKB_KEY_Scroll_Lock) scrollLockMask |= (1 << mod);
                }
            }
        }
    }

    std::vector<std::uint16_t> lockCombinations() const {
        std::vector<std::uint16_t> out;
        const std::uint16_t locks[] = {lockMask, numLockMask, scrollLockMask};
        for (int subset = 0; subset < 8; ++subset) {
            std::uint16_t mask = 0;
            for (int b = 0; b < 3; ++b)
                if (subset & (1 << b)) mask |= locks[b];
            bool seen = false;
            for (auto m : out) seen = seen || m == mask;
            if (!seen) out.push_back(mask);
        }
        return out;
    }

    std::uint16_t ignoredMask() const {
        return static_cast<std::uint16_t>(lockMask | numLockMask | scrollLockMask);
    }

    void handleEvent(xcb_generic_event_t* event, const std::shared_ptr<State>& self);
    void run(const std::shared_ptr<State>& self);
};

void X11HotKeyService::State::handleEvent(xcb_generic_event_t* event,
                                          const std::shared_ptr<State>& self) {
    const auto type = event->response_type & 0x7f;
    if (type == XCB_KEY_PRESS) {
        auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
        if (auto it = held.find(press->detail); it != held.end()) {
            // A key held down repeats as presses with no release between.
            const xcb_timestamp_t gap = press->time - it->second.lastPress;
            it->second.lastPress = press->time;
            if (gap <= repeatWindowMs) {
                ++droppedRepeats;
                return;
            }
            held.erase(it);
        }
        std::optional<std::uint32_t> id;
        {
            std::lock_guard lock(mutex);
            const std::uint16_t mods = press->state & 0xff & static_cast<std::uint16_t>(~ignoredMask());
            for (const auto& [gid, grab] : grabs)
                if (grab.keycode == press->detail && grab.modifiers == mods) id = gid;
        }
        if (!id) return;
        held[press->detail] = Held{*id, press->time};
        deliver(*id, HotKeyEventKind::pressed, self);
    } else if (type == XCB_KEY_RELEASE) {
        auto* release = reinterpret_cast<xcb_key_release_event_t*>(event);
        if (!detectableAutoRepeat) {
            // Without detectable auto-repeat the server sends each repeat as a
            // release and a press with the same time stamp.
            XcbReply<xcb_generic_event_t> next(xcb_poll_for_queued_event(connection));
            if (next) {
                auto* nextPress = reinterpret_cast<xcb_key_press_event_t*>(next.get());
                if ((next->response_type & 0x7f) == XCB_KEY_PRESS &&
                    nextPress->detail == release->detail && nextPress->time == release->time &&
                    held.count(release->detail)) {
                    held[release->detail].lastPress = nextPress->time;
                    ++droppedRepeats;
                    return;
                }
            }
            auto it = held.find(release->detail);
            if (it != held.end()) {
                const auto id = it->second.id;
                held.erase(it);
                deliver(id, HotKeyEventKind::released, self);
            }
            if (next) handleEvent(next.get(), self);
            return;
        }
        auto it = held.find(release->detail);
        if (it == held.end()) return;
        const auto id = it->second.id;
        held.erase(it);
        deliver(id, HotKeyEventKind::released, self);
    }
}

void X11HotKeyService::State::run(const std::shared_ptr<State>& self) {
    pollfd fds[2] = {{xcb_get_file_descriptor(connection), POLLIN, 0}, {wakeFd.get(), POLLIN, 0}};
    while (!stopping) {
        while (auto* event = xcb_poll_for_event(connection)) {
            handleEvent(event, self);
            std::free(event);
        }
        if (xcb_connection_has_error(connection)) {
            log.error("La conexión con el servidor X se ha cerrado; los atajos globales dejan de funcionar");
            return;
        }
        fds[0].revents = fds[1].revents = 0;
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] auto n = ::read(wakeFd.get(), &count, sizeof count);
        }
    }
}

X11HotKeyService::X11HotKeyService(const std::string& displayName, MainQueue& mainQueue)
    : state_(std::make_shared<State>(mainQueue)) {
    auto& s = *state_;
    int screenNumber = 0;
    s.connection = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber);
    if (!s.connection || xcb_connection_has_error(s.connection)) {
        if (s.connection) xcb_disconnect(s.connection);
        const char* env = std::getenv("DISPLAY");
        throw InputError(InputError::Kind::noDisplay,
                         "\"" + (displayName.empty() ? std::string(env ? env : "") : displayName) + "\"");
    }
    const xcb_setup_t* setup = xcb_get_setup(s.connection);
    auto screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
    if (!screens.rem || !screens.data) {
        xcb_disconnect(s.connection);
        throw InputError(InputError::Kind::noDisplay, "\"" + displayName + "\" (no such screen)");
    }
    s.root = screens.data->root;
    s.minKeycode = setup->min_keycode;
    s.maxKeycode = setup->max_keycode;

    s.hasKeyboardExtension =
        xkb_x11_setup_xkb_extension(s.connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                    XKB_X11_MIN_MINOR_XKB_VERSION,
                                    XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                    nullptr, nullptr) == 1;
    if (s.hasKeyboardExtension) {
        const auto flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
        auto cookie = xcb_xkb_per_client_flags(s.connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag,
                                               0, 0, 0);
        XcbReply<xcb_xkb_per_client_flags_reply_t> reply(
            xcb_xkb_per_client_flags_reply(s.connection, cookie, nullptr));
        s.detectableAutoRepeat = reply && (reply->supported & flag) && (reply->value & flag);
    }

    s.repeatWindowMs = static_cast<xcb_timestamp_t>(keyRepeat().delay * 1000) + 500;

    s.wakeFd.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    std::weak_ptr<State> weak = state_;
    State* raw = state_.get();
    s.reader = std::thread([raw, weak] {
        // The service joins this thread before the state goes away.
        raw->run(weak.lock());
    });
}

X11HotKeyService::~X11HotKeyService() {
    auto& s = *state_;
    s.stopping = true;
    s.wake();
    if (s.reader.joinable()) s.reader.join();
    {
        std::lock_guard lock(s.mutex);
        for (const auto& [id, grab] : s.grabs)
            for (auto combo : grab.lockCombinations)
                xcb_ungrab_key(s.connection, grab.keycode, s.root, grab.modifiers | combo);
        s.grabs.clear();
    }
    xcb_flush(s.connection);
    xcb_disconnect(s.connection);
}

void X11HotKeyService::setEventHandler(EventHandler handler) {
    state_->handler = std::move(handler);
}

RegistrationResult X11HotKeyService::registerHotKey(std::uint32_t hotKeyId, int carbonKeyCode,
                                                    int carbonModifiers) {
    auto& s = *state_;
    const auto refuse = [&](RegistrationStatus status, std::string why) {
        s.log.error("No se pudo registrar el atajo global (" +
                    describeKey(carbonKeyCode, carbonModifiers) + "): " + why);
        return RegistrationResult{status, std::move(why)};
    };

    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap* keymap = s.loadKeymap(context);
    std::vector<std::uint16_t> lockCombinations;
    {
        std::lock_guard lock(s.mutex);
        s.readLockModifiers(keymap);
        lockCombinations = s.lockCombinations();
    }

    const std::optional<int> keycode = x11KeycodeForCarbon(keymap, carbonKeyCode, s.minKeycode, s.maxKeycode);
    if (keymap) xkb_keymap_unref(keymap);
    if (context) xkb_context_unref(context);
    if (!keycode) return refuse(RegistrationStatus::keyNotOnKeyboard, "el teclado no tiene esa tecla");

    State::Grab grab{static_cast<xcb_keycode_t>(*keycode), x11ModifiersFromCarbon(carbonModifiers), std::move(lockCombinations)};
    {
        std::lock_guard lock(s.mutex);
        for (const auto& [id, other] : s.grabs)
            if (other.keycode == grab.keycode && other.modifiers == grab.modifiers)
                return refuse(RegistrationStatus::alreadyRegistered,
                              "la aplicación ya lo tiene registrado");
    }

    std::vector<xcb_void_cookie_t> cookies;
    for (auto combo : grab.lockCombinations)
        cookies.push_back(xcb_grab_key_checked(s.connection, 0, s.root, grab.modifiers | combo,
                                               grab.keycode, XCB_GRAB_MODE_ASYNC,
                                               XCB_GRAB_MODE_ASYNC));
    bool refused = false;
    std::string why;
    std::vector<std::uint16_t> taken;
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(s.connection, cookies[i]));
        if (!error) {
            taken.push_back(grab.lockCombinations[i]);
            continue;
        }
        refused = true;
        if (why.empty())
            why = error->error_code == kBadAccess
                      ? "otra aplicación ya tiene esa combinación"
                      : "el servidor X lo rechazó (error " +
                            std::to_string(error->error_code) + ")";
    }
    if (refused) {
        for (auto combo : taken)
            xcb_ungrab_key(s.connection, grab.keycode, s.root, grab.modifiers | combo);
        xcb_flush(s.connection);
        s.wake();
        return refuse(RegistrationStatus::takenByAnotherClient, why);
    }
    {
        std::lock_guard lock(s.mutex);
        s.grabs[hotKeyId] = std::move(grab);
    }
    s.wake();  // replies read on this thread may have queued events for the reader
    return {};
}

void X11HotKeyService::unregisterHotKey(std::uint32_t hotKeyId) {
    auto& s = *state_;
    std::vector<xcb_void_cookie_t> cookies;
    {
        std::lock_guard lock(s.mutex);
        auto it = s.grabs.find(hotKeyId);
        if (it == s.grabs.end()) return;
        for (auto combo : it->second.lockCombinations)
            cookies.push_back(
                xcb_ungrab_key_checked(s.connection, it->second.keycode, s.root, it->second.modifiers | combo));
        s.grabs.erase(it);
    }
    // Once this returns the server has let the key go: a key pressed next, or
    // another program's grab of it, no longer meets ours.
    for (auto cookie : cookies) XcbReply<xcb_generic_error_t> error(xcb_request_check(s.connection, cookie));
    s.wake();  // replies read on this thread may have queued events for the reader
}

KeyRepeat X11HotKeyService::keyRepeat() const {
    auto& s = *state_;
    KeyRepeat repeat;
    if (!s.hasKeyboardExtension) return repeat;
    auto cookie = xcb_xkb_get_controls(s.connection, XCB_XKB_ID_USE_CORE_KBD);
    XcbReply<xcb_xkb_get_controls_reply_t> reply(
        xcb_xkb_get_controls_reply(s.connection, cookie, nullptr));
    if (s.wakeFd) s.wake();
    if (!reply) return repeat;
    if (reply->repeatDelay) repeat.delay = reply->repeatDelay / 1000.0;
    if (reply->repeatInterval) repeat.interval = reply->repeatInterval / 1000.0;
    return repeat;
}

std::size_t X11HotKeyService::droppedRepeats() const { return state_->droppedRepeats; }

}  // namespace platform::input
