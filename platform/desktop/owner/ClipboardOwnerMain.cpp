// Owns an X11 selection on behalf of Parlox (the one named by its first
// argument, CLIPBOARD when none is given) and serves the forms it reads on
// standard input (see encodeForms). A server time as second argument makes
// it take the selection only if nobody took it after that time (the X
// server ignores an ownership request older than the selection's last
// change). It runs apart so that the selection is served while Parlox
// waits on the program that pastes. It reports on standard output: "OWNED"
// once it holds the selection, "REFUSED" when another program holds it
// instead (it then exits), "TAKEN <pid>" each time a program has been
// handed the content ("TAKEN" alone when the X server cannot name the
// program's process), "LOST" when another program took the selection (it
// then exits). "QUIT" on standard input gives the selection up and exits;
// "MARK" is answered with "MARK" once every request the X server had for it
// by then has been served and reported, so the reports before that answer
// are the reads made before it was asked. Large forms go out in chunks. It
// also ends with the X server.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/X11Selection.hpp"

using platform::desktop::SelectionData;

namespace {

constexpr size_t kChunk = 64 * 1024;

struct Transfer {
    Window requestor;
    Atom property;
    Atom type;
    int format;
    const std::vector<unsigned char>* bytes;
    size_t sent = 0;
};

void report(const std::string& line) {
    const std::string out = line + "\n";
    if (::write(STDOUT_FILENO, out.data(), out.size()) < 0) {
        // The parent stopped listening; serving goes on.
    }
}

std::vector<long> asLongs(const std::vector<unsigned char>& bytes) {
    std::vector<long> out(bytes.size() / 4);
    for (size_t i = 0; i < out.size(); ++i) {
        uint32_t v = 0;
        std::memcpy(&v, bytes.data() + i * 4, 4);
        out[i] = v;
    }
    return out;
}

void put(Display* d, Window w, Atom property, Atom type, int format, const unsigned char* data, size_t bytes) {
    if (format == 32) {
        std::vector<unsigned char> raw(data, data + bytes);
        auto longs = asLongs(raw);
        XChangeProperty(d, w, property, type, 32, PropModeReplace, reinterpret_cast<unsigned char*>(longs.data()),
                        static_cast<int>(longs.size()));
    } else {
        XChangeProperty(d, w, property, type, format, PropModeReplace, data,
                        static_cast<int>(bytes / static_cast<size_t>(format / 8)));
    }
}

// A real server time for the ownership: the time of a property change of our own.
Time serverTime(Display* d, Window w) {
    XEvent event;
    XChangeProperty(d, w, XA_WM_NAME, XA_STRING, 8, PropModeAppend, nullptr, 0);
    do XNextEvent(d, &event);
    while (event.type != PropertyNotify);
    return event.xproperty.time;
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    const char* selectionName = argc > 1 ? argv[1] : "CLIPBOARD";
    const Time notTakenAfter = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : CurrentTime;
    auto forms = platform::desktop::decodeForms(STDIN_FILENO);
    if (!forms) {
        report("FAILED bad input");
        return 2;
    }
    // Closed on the way out, so that the connection gives its memory back.
    const std::unique_ptr<Display, decltype(&XCloseDisplay)> connection(XOpenDisplay(nullptr), &XCloseDisplay);
    Display* d = connection.get();
    if (d == nullptr) {
        report("FAILED no display");
        return 1;
    }
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, 0, 0);
    XSelectInput(d, w, PropertyChangeMask);
    const Atom selection = XInternAtom(d, selectionName, False);
    const Atom targetsAtom = XInternAtom(d, "TARGETS", False);
    const Atom timestampAtom = XInternAtom(d, "TIMESTAMP", False);
    const Atom incr = XInternAtom(d, "INCR", False);

    const Time since = notTakenAfter != CurrentTime ? notTakenAfter : serverTime(d, w);

    std::map<Atom, const SelectionData*> byTarget;
    std::vector<Atom> offered{targetsAtom, timestampAtom};
    for (const auto& f : *forms) {
        const Atom a = XInternAtom(d, f.target.c_str(), False);
        if (byTarget.emplace(a, &f).second) offered.push_back(a);
    }
    std::map<Atom, Atom> types;
    for (const auto& [a, f] : byTarget) types[a] = XInternAtom(d, f->type.c_str(), False);

    XSetSelectionOwner(d, selection, w, since);
    if (XGetSelectionOwner(d, selection) != w) {
        report("REFUSED");
        return 1;
    }
    report("OWNED");

    const size_t maxDirect = std::min<size_t>(XExtendedMaxRequestSize(d) > 0 ? XExtendedMaxRequestSize(d) * 4
                                                                            : XMaxRequestSize(d) * 4,
                                              4u * 1024 * 1024) - 1024;
    std::vector<Transfer> transfers;
    XEvent event;
    bool stdinOpen = true;
    bool markAsked = false;
    std::string pending;
    for (;;) {
        while (XPending(d) > 0) {
            XNextEvent(d, &event);
            if (event.type == SelectionClear && event.xselectionclear.selection == selection) {
                report("LOST");
                return 0;
            }
            if (event.type == PropertyNotify && event.xproperty.state == PropertyDelete) {
                for (auto it = transfers.begin(); it != transfers.end(); ++it) {
                    if (it->requestor != event.xproperty.window || it->property != event.xproperty.atom) continue;
                    const size_t n = std::min(kChunk, it->bytes->size() - it->sent);
                    put(d, it->requestor, it->property, it->type, it->format, it->bytes->data() + it->sent, n);
                    it->sent += n;
                    if (n == 0) {
                        XSelectInput(d, it->requestor, NoEventMask);
                        transfers.erase(it);
                    }
                    break;
                }
                XFlush(d);
                continue;
            }
            if (event.type != SelectionRequest) continue;
            const XSelectionRequestEvent& req = event.xselectionrequest;
            XSelectionEvent reply{};
            reply.type = SelectionNotify;
            reply.display = d;
            reply.requestor = req.requestor;
            reply.selection = req.selection;
            reply.target = req.target;
            reply.time = req.time;
            reply.property = None;
            const Atom property = req.property == None ? req.target : req.property;
            if (req.selection == selection) {
                if (req.target == targetsAtom) {
                    XChangeProperty(d, req.requestor, property, XA_ATOM, 32, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(offered.data()),
                                    static_cast<int>(offered.size()));
                    reply.property = property;
                } else if (req.target == timestampAtom) {
                    long t = static_cast<long>(since);
                    XChangeProperty(d, req.requestor, property, XA_INTEGER, 32, PropModeReplace,
                                    reinterpret_cast<unsigned char*>(&t), 1);
                    reply.property = property;
                } else if (auto found = byTarget.find(req.target); found != byTarget.end()) {
                    const SelectionData& f = *found->second;
                    if (f.bytes.size() > maxDirect) {
                        long size = static_cast<long>(f.bytes.size());
                        XSelectInput(d, req.requestor, PropertyChangeMask);
                        XChangeProperty(d, req.requestor, property, incr, 32, PropModeReplace,
                                        reinterpret_cast<unsigned char*>(&size), 1);
                        transfers.push_back(Transfer{req.requestor, property, types[req.target], f.format, &f.bytes});
                    } else {
                        put(d, req.requestor, property, types[req.target], f.format, f.bytes.data(), f.bytes.size());
                    }
                    reply.property = property;
                }
            }
            XSendEvent(d, req.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
            XFlush(d);
            // Content handed over: the program that asked has what it pastes.
            if (reply.property != None && req.target != targetsAtom && req.target != timestampAtom) {
                const auto pid = platform::desktop::clientProcessId(d, req.requestor);
                report(pid ? "TAKEN " + std::to_string(*pid) : std::string("TAKEN"));
            }
        }
        if (markAsked) {
            report("MARK");
            markAsked = false;
        }
        pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, stdinOpen ? 2 : 1, -1) < 0) continue;
        if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                stdinOpen = false;
            } else {
                pending.append(buffer, static_cast<size_t>(n));
                for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
                    const std::string command = pending.substr(0, end);
                    pending.erase(0, end + 1);
                    if (command == "QUIT") {
                        // Only our own ownership is given up: a helper that took
                        // over may hold it under the same time stamp.
                        if (XGetSelectionOwner(d, selection) == w) XSetSelectionOwner(d, selection, None, since);
                        XSync(d, False);
                        return 0;
                    }
                    if (command == "MARK") {
                        // Every request the server queued for us so far is
                        // read now, and served before the answer.
                        XSync(d, False);
                        markAsked = true;
                    }
                }
            }
        }
        // The X server is gone. Closing the connection would only end the
        // program inside Xlib with an error, so it ends here at once.
        if (fds[0].revents & (POLLHUP | POLLERR)) ::_exit(0);
    }
}
