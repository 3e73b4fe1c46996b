#include "platform/desktop/X11Desktop.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/scrnsaver.h>

#include "platform/desktop/DesktopError.hpp"
#include "platform/input/SessionType.hpp"
#include "platform/input/XlibErrors.hpp"

namespace platform::desktop {

namespace {

// One property as a list of 32-bit items; empty when absent.
std::vector<unsigned long> cardinals(Display* d, Window w, const char* name, Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> out;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1 << 16, False, type, &actual, &format, &items,
                           &after, &data) == Success &&
        data != nullptr) {
        if (format == 32) {
            const auto* values = reinterpret_cast<const unsigned long*>(data);
            out.assign(values, values + items);
        }
        XFree(data);
    }
    return out;
}

}  // namespace

void X11Desktop::requireX11() {
    if (input::waylandWithoutX11())
        throw DesktopError(DesktopError::Kind::unavailable,
                           "this desktop backend drives X11 only; the session is Wayland");
}

X11Desktop::X11Desktop() {
    requireX11();
    input::ignoreXlibErrors();
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) throw DesktopError(DesktopError::Kind::unavailable, "cannot open the X display");
    input::surviveConnectionLoss(display_, lost_);
}

X11Desktop::~X11Desktop() {
    XCloseDisplay(display_);
    input::forgetConnection(display_);
}

unsigned long X11Desktop::topLevelOf(unsigned long window) {
    // Walks up to the child of the root: the frame under a window manager, the
    // client itself without one; then finds the client inside a frame.
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window current = window;
    while (current != 0) {
        if (!cardinals(display_, current, "_NET_WM_PID", XA_CARDINAL).empty()) return current;
        if (!XQueryTree(display_, current, &root, &parent, &children, &count)) return 0;
        if (children != nullptr) XFree(children);
        if (parent == root || parent == 0) break;
        current = parent;
    }
    if (current == 0) return 0;
    // Under a frame: the client is a descendant carrying WM_STATE.
    const Atom wmState = XInternAtom(display_, "WM_STATE", False);
    std::vector<Window> queue{current};
    for (size_t i = 0; i < queue.size() && i < 64; ++i) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, queue[i], wmState, 0, 2, False, AnyPropertyType, &type, &format, &items,
                               &after, &data) == Success &&
            data != nullptr) {
            XFree(data);
            if (type != None) return queue[i];
        }
        if (XQueryTree(display_, queue[i], &root, &parent, &children, &count) && children != nullptr) {
            queue.insert(queue.end(), children, children + count);
            XFree(children);
        }
    }
    return current;
}

std::optional<TopLevelWindow> X11Desktop::describe(unsigned long window) {
    XWindowAttributes attributes;
    if (window == 0 || !XGetWindowAttributes(display_, window, &attributes)) return std::nullopt;
    TopLevelWindow out;
    out.id = window;
    out.viewable = attributes.map_state == IsViewable;
    const auto pid = cardinals(display_, window, "_NET_WM_PID", XA_CARDINAL);
    out.pid = pid.empty() ? 0 : static_cast<int>(pid.front());
    XClassHint hint{};
    if (XGetClassHint(display_, window, &hint)) {
        if (hint.res_name != nullptr) out.instance = hint.res_name;
        if (hint.res_class != nullptr) out.className = hint.res_class;
        if (hint.res_name != nullptr) XFree(hint.res_name);
        if (hint.res_class != nullptr) XFree(hint.res_class);
    }
    const auto types = cardinals(display_, window, "_NET_WM_WINDOW_TYPE", XA_ATOM);
    if (!types.empty()) {
        const Atom normal = XInternAtom(display_, "_NET_WM_WINDOW_TYPE_NORMAL", False);
        const Atom dialog = XInternAtom(display_, "_NET_WM_WINDOW_TYPE_DIALOG", False);
        out.normal = types.front() == normal || types.front() == dialog;
    }
    if (attributes.override_redirect) out.normal = false;
    Window child = 0;
    int x = 0, y = 0;
    XTranslateCoordinates(display_, window, attributes.root, 0, 0, &x, &y, &child);
    out.frame = Rect{static_cast<double>(x), static_cast<double>(y), static_cast<double>(attributes.width),
                     static_cast<double>(attributes.height)};
    return out;
}

std::optional<TopLevelWindow> X11Desktop::activeWindow() {
    const Window root = DefaultRootWindow(display_);
    const auto active = cardinals(display_, root, "_NET_ACTIVE_WINDOW", XA_WINDOW);
    if (!active.empty() && active.front() != 0) return describe(active.front());
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    if (focus == None || focus == PointerRoot || focus == root) return std::nullopt;
    return describe(topLevelOf(focus));
}

std::vector<TopLevelWindow> X11Desktop::windowsFrontToBack() {
    const Window root = DefaultRootWindow(display_);
    std::vector<unsigned long> ids = cardinals(display_, root, "_NET_CLIENT_LIST_STACKING", XA_WINDOW);
    if (ids.empty()) {
        // No window manager: the root's children in stacking order (bottom first).
        Window r = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display_, root, &r, &parent, &children, &count) && children != nullptr) {
            ids.assign(children, children + count);
            XFree(children);
        }
    }
    std::vector<TopLevelWindow> out;
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        if (auto window = describe(topLevelOf(*it))) out.push_back(std::move(*window));
    }
    return out;
}

std::optional<TopLevelWindow> X11Desktop::frontWindowOf(int pid) {
    for (auto& window : windowsFrontToBack())
        if (window.pid == pid && window.viewable && window.normal) return window;
    return std::nullopt;
}

std::vector<Rect> X11Desktop::screens() {
    std::vector<Rect> out;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display_, DefaultRootWindow(display_), True, &count);
    for (int i = 0; monitors != nullptr && i < count; ++i) {
        const Rect rect{static_cast<double>(monitors[i].x), static_cast<double>(monitors[i].y),
                        static_cast<double>(monitors[i].width), static_cast<double>(monitors[i].height)};
        if (monitors[i].primary) out.insert(out.begin(), rect);
        else out.push_back(rect);
    }
    if (monitors != nullptr) XRRFreeMonitors(monitors);
    if (out.empty()) {
        const int s = DefaultScreen(display_);
        out.push_back(Rect{0, 0, static_cast<double>(DisplayWidth(display_, s)),
                           static_cast<double>(DisplayHeight(display_, s))});
    }
    return out;
}

void X11Desktop::activate(const TopLevelWindow& window) {
    const Window root = DefaultRootWindow(display_);
    if (!cardinals(display_, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty()) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window.id;
        event.xclient.message_type = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;  // from a pager-like tool: honoured without focus-stealing checks
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    } else {
        XRaiseWindow(display_, window.id);
        XSetInputFocus(display_, window.id, RevertToParent, CurrentTime);
    }
    XSync(display_, False);
}

std::optional<double> X11Desktop::idleSeconds() {
    int event = 0, error = 0;
    if (!XScreenSaverQueryExtension(display_, &event, &error)) return std::nullopt;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (info == nullptr) return std::nullopt;
    std::optional<double> out;
    if (XScreenSaverQueryInfo(display_, DefaultRootWindow(display_), info)) out = info->idle / 1000.0;
    XFree(info);
    return out;
}

}  // namespace platform::desktop
