#include "platform/desktop/X11Selection.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/Xfixes.h>
#include <poll.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "platform/desktop/DesktopError.hpp"
#include "platform/foundation/Utf8.hpp"
#include "platform/input/XlibErrors.hpp"

namespace platform::desktop {

namespace {

const char* const kMetaTargets[] = {"TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS", "DELETE",
                                    "INSERT_SELECTION", "INSERT_PROPERTY", "INCR"};

std::string latin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t code = decodeUtf8(utf8, i);
        out.push_back(code < 0x100 ? static_cast<char>(code) : '?');
    }
    return out;
}

std::string fromLatin1(const std::vector<unsigned char>& bytes) {
    std::string out;
    for (unsigned char c : bytes) appendUtf8(out, c);
    return out;
}

SelectionData form(const std::string& target, const std::string& type, const std::string& bytes) {
    return SelectionData{target, type, 8, std::vector<unsigned char>(bytes.begin(), bytes.end())};
}

// Property items as Xlib hands them out (format 32 items are longs) turned into
// plain bytes: 32-bit items keep four bytes each.
std::vector<unsigned char> propertyBytes(const unsigned char* data, int format, unsigned long items) {
    std::vector<unsigned char> out;
    if (data == nullptr) return out;
    if (format == 32) {
        const long* values = reinterpret_cast<const long*>(data);
        out.resize(items * 4);
        for (unsigned long i = 0; i < items; ++i) {
            const auto v = static_cast<uint32_t>(values[i]);
            std::memcpy(out.data() + i * 4, &v, 4);
        }
    } else {
        out.assign(data, data + items * (format / 8));
    }
    return out;
}

std::string atomName(Display* d, Atom atom) {
    if (atom == None) return {};
    char* name = XGetAtomName(d, atom);
    std::string out = name != nullptr ? name : "";
    if (name != nullptr) XFree(name);
    return out;
}

}  // namespace

std::vector<SelectionData> textForms(const std::string& utf8) {
    return {form("UTF8_STRING", "UTF8_STRING", utf8),
            form("text/plain;charset=utf-8", "text/plain;charset=utf-8", utf8),
            form("text/plain", "text/plain", utf8),
            form("STRING", "STRING", latin1(utf8)),
            form("TEXT", "UTF8_STRING", utf8)};
}

bool isMetaTarget(const std::string& target) {
    for (const char* meta : kMetaTargets)
        if (target == meta) return true;
    return false;
}

X11SelectionReader::X11SelectionReader(const std::string& selection, std::chrono::milliseconds timeout)
    : timeout_(timeout) {
    input::ignoreXlibErrors();
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) throw DesktopError(DesktopError::Kind::unavailable, "cannot open the X display");
    const Window root = DefaultRootWindow(display_);
    window_ = XCreateSimpleWindow(display_, root, -10, -10, 1, 1, 0, 0, 0);
    XSelectInput(display_, window_, PropertyChangeMask);
    selection_ = XInternAtom(display_, selection.c_str(), False);
    int error = 0;
    if (XFixesQueryExtension(display_, &fixesEvent_, &error)) {
        XFixesSelectSelectionInput(display_, window_, selection_,
                                   XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
    } else {
        fixesEvent_ = -1;
    }
    XSync(display_, False);
}

X11SelectionReader::~X11SelectionReader() {
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
}

unsigned long X11SelectionReader::owner() { return XGetSelectionOwner(display_, selection_); }

bool X11SelectionReader::noteOwnerChange(const XEvent& event) {
    if (fixesEvent_ < 0 || event.type != fixesEvent_ + XFixesSelectionNotify) return false;
    ++changes_;
    lastChangeTime_ = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event).selection_timestamp;
    return true;
}

void X11SelectionReader::drainOwnerEvents() {
    XSync(display_, False);
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        noteOwnerChange(event);
    }
}

uint64_t X11SelectionReader::changeCount() {
    drainOwnerEvents();
    return changes_;
}

std::optional<unsigned long> X11SelectionReader::lastChangeTimeIfUnchangedSince(uint64_t count) {
    drainOwnerEvents();
    if (changes_ != count) return std::nullopt;
    return lastChangeTime_;
}

std::optional<int> clientProcessId(Display* display, unsigned long window) {
    int event = 0, error = 0;
    if (window == None || !XResQueryExtension(display, &event, &error)) return std::nullopt;
    XResClientIdSpec spec{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    std::optional<int> pid;
    if (XResQueryClientIds(display, 1, &spec, &count, &values) == Success) {
        for (long i = 0; i < count; ++i) {
            const pid_t p = XResGetClientPid(&values[i]);
            if (p > 0) pid = static_cast<int>(p);
        }
        XResClientIdsDestroy(count, values);
    }
    return pid;
}

std::optional<int> X11SelectionReader::ownerProcessId() { return clientProcessId(display_, owner()); }

void X11SelectionReader::clear() { clearUnlessTakenAfter(CurrentTime); }

bool X11SelectionReader::clearUnlessTakenAfter(unsigned long since) {
    // The X server ignores an ownership request older than the selection's last change.
    XSetSelectionOwner(display_, selection_, None, since);
    return owner() == None;
}

std::optional<SelectionData> X11SelectionReader::read(const std::string& target) {
    const Atom targetAtom = XInternAtom(display_, target.c_str(), False);
    const Atom property = XInternAtom(display_, "PARLOX_SELECTION", False);
    const Atom incr = XInternAtom(display_, "INCR", False);
    XDeleteProperty(display_, window_, property);
    XConvertSelection(display_, selection_, targetAtom, property, window_, CurrentTime);
    XFlush(display_);
    const auto deadline = std::chrono::steady_clock::now() + timeout_;

    // Waits for the next event that `wanted` accepts; owner changes are counted on the way.
    auto waitFor = [&](auto wanted, XEvent& out) {
        for (;;) {
            while (XPending(display_) > 0) {
                XNextEvent(display_, &out);
                if (!noteOwnerChange(out) && wanted(out)) return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(left.count()));
        }
    };

    XEvent event;
    const bool notified = waitFor(
        [&](const XEvent& e) {
            return e.type == SelectionNotify && e.xselection.requestor == window_ &&
                   e.xselection.selection == selection_;
        },
        event);
    if (!notified || event.xselection.property == None) return std::nullopt;

    auto take = [&](Atom& type, int& format, std::vector<unsigned char>& bytes) {
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, window_, property, 0, LONG_MAX / 4, True, AnyPropertyType, &type, &format,
                               &items, &after, &data) != Success)
            return false;
        bytes = propertyBytes(data, format, items);
        if (data != nullptr) XFree(data);
        return true;
    };

    Atom type = None;
    int format = 0;
    std::vector<unsigned char> bytes;
    if (!take(type, format, bytes)) return std::nullopt;
    if (type == incr) {
        // Large transfer: the owner sends chunks, each after we delete the last one.
        bytes.clear();
        for (;;) {
            const bool chunk = waitFor(
                [&](const XEvent& e) {
                    return e.type == PropertyNotify && e.xproperty.window == window_ &&
                           e.xproperty.atom == property && e.xproperty.state == PropertyNewValue;
                },
                event);
            if (!chunk) return std::nullopt;
            std::vector<unsigned char> part;
            if (!take(type, format, part)) return std::nullopt;
            if (part.empty()) break;
            bytes.insert(bytes.end(), part.begin(), part.end());
        }
    }
    if (type == None) return std::nullopt;
    return SelectionData{target, atomName(display_, type), format, std::move(bytes)};
}

std::optional<std::vector<std::string>> X11SelectionReader::targets() {
    auto data = read("TARGETS");
    if (!data || data->format != 32) return std::nullopt;
    std::vector<std::string> names;
    for (size_t i = 0; i + 4 <= data->bytes.size(); i += 4) {
        uint32_t atom = 0;
        std::memcpy(&atom, data->bytes.data() + i, 4);
        const std::string name = atomName(display_, atom);
        if (!name.empty()) names.push_back(name);
    }
    return names;
}

std::vector<SelectionData> X11SelectionReader::readAll() {
    std::vector<SelectionData> all;
    if (owner() == None) return all;
    auto names = targets();
    if (!names) return all;
    for (const auto& name : *names) {
        if (isMetaTarget(name)) continue;
        bool seen = false;
        for (const auto& held : all) seen = seen || held.target == name;
        if (seen) continue;
        if (auto data = read(name)) all.push_back(std::move(*data));
    }
    return all;
}

std::optional<std::string> X11SelectionReader::text() {
    if (owner() == None) return std::nullopt;
    for (const char* target : {"UTF8_STRING", "text/plain;charset=utf-8"}) {
        if (auto data = read(target)) return std::string(data->bytes.begin(), data->bytes.end());
    }
    if (auto data = read("STRING")) return fromLatin1(data->bytes);
    return std::nullopt;
}

}  // namespace platform::desktop

namespace platform::desktop {

std::string encodeForms(const std::vector<SelectionData>& forms) {
    std::string out;
    for (const auto& f : forms) {
        out += f.target + "\n" + f.type + "\n" + std::to_string(f.format) + "\n" + std::to_string(f.bytes.size()) + "\n";
        out.append(f.bytes.begin(), f.bytes.end());
    }
    out += "\n";
    return out;
}

namespace {

// Reads byte by byte so nothing after the list is consumed.
bool readLine(int fd, std::string& line) {
    line.clear();
    char c;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) return false;
        if (c == '\n') return true;
        line.push_back(c);
        if (line.size() > 4096) return false;
    }
}

bool readExactly(int fd, unsigned char* out, size_t size) {
    while (size > 0) {
        const ssize_t n = ::read(fd, out, size);
        if (n <= 0) return false;
        out += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<std::vector<SelectionData>> decodeForms(int fd) {
    std::vector<SelectionData> forms;
    std::string line;
    for (;;) {
        if (!readLine(fd, line)) return std::nullopt;
        if (line.empty()) return forms;
        SelectionData f;
        f.target = line;
        std::string format, size;
        if (!readLine(fd, f.type) || !readLine(fd, format) || !readLine(fd, size)) return std::nullopt;
        try {
            f.format = std::stoi(format);
            const unsigned long long n = std::stoull(size);
            if ((f.format != 8 && f.format != 16 && f.format != 32) || n > (1ull << 30)) return std::nullopt;
            f.bytes.resize(n);
        } catch (const std::exception&) {
            return std::nullopt;
        }
        if (!readExactly(fd, f.bytes.data(), f.bytes.size())) return std::nullopt;
        forms.push_back(std::move(f));
    }
}

}  // namespace platform::desktop
