#include "platform/desktop/X11WindowContents.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <algorithm>
#include <optional>
#include <string>

#include "platform/desktop/DesktopError.hpp"

namespace platform::desktop {

namespace {

DesktopError failed(const std::string& why) { return DesktopError(DesktopError::Kind::failed, why); }

// A window of the subtree being read, with its origin in the top window's coordinates.
struct Watched {
    Window window;
    int x;
    int y;
};

// The window and its shown descendants: the compositing extension gives
// them one storage, and each is told separately what it must draw again.
// None for a tree too large to watch whole.
std::optional<std::vector<Watched>> shownSubtree(Display* display, Window top) {
    constexpr size_t limit = 1024;
    std::vector<Watched> out{{top, 0, 0}};
    for (size_t i = 0; i < out.size(); ++i) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, out[i].window, &root, &parent, &children, &count)) continue;
        for (unsigned int c = 0; c < count; ++c) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display, children[c], &a) && a.map_state == IsViewable && a.c_class == InputOutput)
                out.push_back({children[c], out[i].x + a.x + a.border_width, out[i].y + a.y + a.border_width});
        }
        if (children != nullptr) XFree(children);
        if (out.size() > limit) return std::nullopt;
    }
    return out;
}

unsigned int channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    const unsigned long value = (pixel & mask) >> shift, max = mask >> shift;
    return static_cast<unsigned int>(value * 255 / max);
}

// An image read from a pixmap carries no colour masks: they are the window's visual's.
WindowPixels toPixels(XImage* image, const Visual* visual) {
    WindowPixels out;
    out.width = image->width;
    out.height = image->height;
    out.pixels.resize(static_cast<size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            out.pixels[static_cast<size_t>(y) * out.width + x] = 0xff000000u | (channel(p, visual->red_mask) << 16) |
                                                                 (channel(p, visual->green_mask) << 8) |
                                                                 channel(p, visual->blue_mask);
        }
    return out;
}

// What the window's program still has to draw: the parts the redirection
// exposed, less what its drawing has covered since.
class PendingRepaint {
public:
    PendingRepaint(Display* display, int damageEventBase, Damage damage, const std::vector<Watched>& watched)
        : display_(display), damageEventBase_(damageEventBase), damage_(damage), watched_(watched) {}
    ~PendingRepaint() {
        XDestroyRegion(pending_);
        XDestroyRegion(drawn_);
    }
    PendingRepaint(const PendingRepaint&) = delete;
    PendingRepaint& operator=(const PendingRepaint&) = delete;

    // Takes the queued events. Drawing reported before the program could
    // draw (a new damage record reports the whole window) does not count.
    void takeEvents(bool drawingCounts) {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == Expose) expose(event.xexpose);
            else if (drawingCounts && event.type == damageEventBase_ + XDamageNotify)
                draw(reinterpret_cast<const XDamageNotifyEvent&>(event));
        }
    }

    // Waits until everything exposed is drawn; false when the deadline comes first.
    bool awaitDrawing(std::chrono::steady_clock::time_point deadline) {
        while (true) {
            takeEvents(true);
            if (XEmptyRegion(pending_)) return true;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(std::min<long long>(left.count() + 1, 100)));
        }
    }

private:
    void expose(const XExposeEvent& event) {
        const auto w = std::find_if(watched_.begin(), watched_.end(),
                                    [&](const Watched& x) { return x.window == event.window; });
        if (w == watched_.end()) return;
        XRectangle area{static_cast<short>(event.x + w->x), static_cast<short>(event.y + w->y),
                        static_cast<unsigned short>(event.width), static_cast<unsigned short>(event.height)};
        XUnionRectWithRegion(&area, pending_, pending_);
    }
    void draw(const XDamageNotifyEvent& notice) {
        if (notice.damage != damage_) return;
        XRectangle area = notice.area;
        XSubtractRegion(drawn_, drawn_, drawn_);
        XUnionRectWithRegion(&area, drawn_, drawn_);
        XSubtractRegion(pending_, drawn_, pending_);
    }

    Display* display_;
    int damageEventBase_;
    Damage damage_;
    const std::vector<Watched>& watched_;
    Region pending_ = XCreateRegion();
    Region drawn_ = XCreateRegion();
};

}  // namespace

X11WindowContents::X11WindowContents(Display* display) : display_(display) {
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XCompositeQueryExtension(display_, &event, &error) || !XCompositeQueryVersion(display_, &major, &minor) ||
        (major == 0 && minor < 2))
        throw DesktopError(DesktopError::Kind::unavailable, "the X server cannot keep a window's own contents");
    if (!XDamageQueryExtension(display_, &damageEventBase_, &error))
        throw DesktopError(DesktopError::Kind::unavailable, "the X server does not report a window's drawing");
}

WindowPixels X11WindowContents::read(unsigned long window, std::chrono::milliseconds repaintLimit) {
    // With the server held, the redirection's exposures (the parts covered
    // until now, which hold the covering windows' pixels) reach us before the
    // window's program can draw anything, and every drawing after them is
    // reported.
    XGrabServer(display_);
    const auto refuse = [&](const std::string& why) {
        XUngrabServer(display_);
        XSync(display_, False);
        return failed(why);
    };
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes) || attributes.map_state != IsViewable)
        throw refuse("the window is not on screen");
    const auto subtree = shownSubtree(display_, window);
    if (!subtree) throw refuse("the window has too many parts to watch");
    const std::vector<Watched>& watched = *subtree;
    for (const Watched& w : watched) XSelectInput(display_, w.window, ExposureMask);
    XCompositeRedirectWindow(display_, window, CompositeRedirectAutomatic);
    const Damage damage = XDamageCreate(display_, window, XDamageReportRawRectangles);
    XSync(display_, False);
    PendingRepaint pending(display_, damageEventBase_, damage, watched);
    pending.takeEvents(false);
    XUngrabServer(display_);
    XFlush(display_);

    const bool drawn = pending.awaitDrawing(std::chrono::steady_clock::now() + repaintLimit);
    XImage* image = nullptr;
    XWindowAttributes now;
    if (drawn && XGetWindowAttributes(display_, window, &now) && now.map_state == IsViewable) {
        const Pixmap pixmap = XCompositeNameWindowPixmap(display_, window);
        image = XGetImage(display_, pixmap, now.border_width, now.border_width, static_cast<unsigned int>(now.width),
                          static_cast<unsigned int>(now.height), AllPlanes, ZPixmap);
        XFreePixmap(display_, pixmap);
    }
    XDamageDestroy(display_, damage);
    XCompositeUnredirectWindow(display_, window, CompositeRedirectAutomatic);
    for (const Watched& w : watched) XSelectInput(display_, w.window, NoEventMask);
    XSync(display_, True);  // drops the events still queued for this reading

    if (!drawn) throw failed("the program did not draw the covered part of its window in time");
    if (image == nullptr) throw failed("the window went away while it was read");
    WindowPixels out = toPixels(image, now.visual);
    XDestroyImage(image);
    return out;
}

}  // namespace platform::desktop
