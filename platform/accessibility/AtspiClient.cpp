#include "platform/accessibility/AtspiClient.hpp"

#include <atspi/atspi.h>
#include <gio/gio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/accessibility/AccessibilityError.hpp"
#include "platform/foundation/Unicode.hpp"

namespace platform::accessibility {

namespace {

// Set when a request of this thread failed: the library reports a request
// that timed out, or whose connection broke, as an error.
thread_local bool requestUnanswered = false;

// Frees a GError and says whether there was one (and notes it).
bool failed(GError*& error) {
    if (error == nullptr) return false;
    requestUnanswered = true;
    g_error_free(error);
    error = nullptr;
    return true;
}

std::string take(gchar* text) {
    std::string out = text != nullptr ? text : "";
    g_free(text);
    return out;
}

// The session bus's address without starting one (GLib and libdbus would
// launch a bus of their own when none is set).
std::string sessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && *address != '\0')
        return address;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0') {
        const std::filesystem::path socket = std::filesystem::path(runtime) / "bus";
        std::error_code ec;
        if (std::filesystem::exists(socket, ec)) return "unix:path=" + socket.string();
    }
    return {};
}

// Whether a failed call got no answer in time (the bus, or the program
// behind it, is busy), rather than an answer that it failed.
bool unanswered(const GError* error) {
    return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_TIMED_OUT);
}

// The connection to the session bus for the desktop's questions, opened at
// the first and kept: a connection per question costs a handshake with the
// bus each time, which a busy machine may not finish in time. Opened again
// when the bus closed it or the session's address changed; none when it
// cannot be opened.
GDBusConnection* sessionBus() {
    static std::mutex mutex;
    static GDBusConnection* bus = nullptr;
    static std::string busAddress;
    const std::string address = sessionBusAddress();
    if (address.empty()) return nullptr;
    std::lock_guard lock(mutex);
    if (bus != nullptr && (address != busAddress || g_dbus_connection_is_closed(bus))) {
        g_object_unref(bus);
        bus = nullptr;
    }
    if (bus == nullptr) {
        GError* error = nullptr;
        bus = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        if (error != nullptr) g_error_free(error);
        if (bus == nullptr) return nullptr;
        busAddress = address;
    }
    return G_DBUS_CONNECTION(g_object_ref(bus));
}

// The reply to one call on the session bus: none when there is no bus or
// the call failed, and `late` when it got no answer in time.
struct BusReply {
    GVariant* value = nullptr;
    bool late = false;
};

BusReply sessionCall(const char* destination, const char* path, const char* interface, const char* method,
                     GVariant* parameters) {
    GDBusConnection* bus = sessionBus();
    if (bus == nullptr) {
        if (parameters != nullptr) g_variant_unref(g_variant_ref_sink(parameters));
        return {};
    }
    GError* error = nullptr;
    BusReply reply;
    reply.value = g_dbus_connection_call_sync(bus, destination, path, interface, method, parameters, nullptr,
                                              G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error);
    if (error != nullptr) {
        reply.late = unanswered(error);
        g_error_free(error);
    }
    g_object_unref(bus);
    return reply;
}

bool hasState(AtspiAccessible* object, AtspiStateType state) {
    AtspiStateSet* states = atspi_accessible_get_state_set(object);
    if (states == nullptr) {
        requestUnanswered = true;
        return false;
    }
    // The library gives an empty set, and no error, for a request that went
    // unanswered; a live object always has some state.
    GArray* all = atspi_state_set_get_states(states);
    if (all == nullptr || all->len == 0) requestUnanswered = true;
    if (all != nullptr) g_array_free(all, TRUE);
    const bool has = atspi_state_set_contains(states, state);
    g_object_unref(states);
    return has;
}

struct TextIface {
    AtspiText* text;
    explicit TextIface(void* object) : text(atspi_accessible_get_text_iface(static_cast<AtspiAccessible*>(object))) {}
    ~TextIface() {
        if (text != nullptr) g_object_unref(text);
    }
    explicit operator bool() const { return text != nullptr; }
};

constexpr int kMaxChildren = 500;
constexpr int kMaxVisited = 4000;

// Depth-first search for the focused object under `node`, through showing
// objects only; objects that manage their descendants are not entered.
AtspiAccessible* findFocused(AtspiAccessible* node, int& visited) {
    if (++visited > kMaxVisited) return nullptr;
    if (hasState(node, ATSPI_STATE_FOCUSED)) return static_cast<AtspiAccessible*>(g_object_ref(node));
    if (hasState(node, ATSPI_STATE_MANAGES_DESCENDANTS)) return nullptr;
    GError* error = nullptr;
    const int count = atspi_accessible_get_child_count(node, &error);
    if (failed(error) || count <= 0 || count > kMaxChildren) return nullptr;
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, &error);
        if (failed(error) || child == nullptr) continue;
        AtspiAccessible* found = nullptr;
        if (hasState(child, ATSPI_STATE_SHOWING) || hasState(child, ATSPI_STATE_FOCUSED))
            found = findFocused(child, visited);
        g_object_unref(child);
        if (found != nullptr) return found;
    }
    return nullptr;
}

}  // namespace

// --- AtspiElement -------------------------------------------------------------------------------

AtspiElement::AtspiElement(void* object, void* application) : object_(object), application_(application) {}

AtspiElement::~AtspiElement() {
    g_object_unref(static_cast<AtspiAccessible*>(object_));
    if (application_ != nullptr) g_object_unref(static_cast<AtspiAccessible*>(application_));
}

AtspiElement::Role AtspiElement::role() const {
    GError* error = nullptr;
    const AtspiRole role = atspi_accessible_get_role(static_cast<AtspiAccessible*>(object_), &error);
    if (failed(error)) return Role::other;
    switch (role) {
        case ATSPI_ROLE_PASSWORD_TEXT: return Role::passwordText;
        case ATSPI_ROLE_TERMINAL: return Role::terminal;
        case ATSPI_ROLE_TEXT:
        case ATSPI_ROLE_ENTRY:
        case ATSPI_ROLE_DOCUMENT_TEXT:
        case ATSPI_ROLE_PARAGRAPH: return Role::text;
        default: return Role::other;
    }
}

int AtspiElement::pid() const {
    GError* error = nullptr;
    const guint pid = atspi_accessible_get_process_id(static_cast<AtspiAccessible*>(object_), &error);
    return failed(error) ? 0 : static_cast<int>(pid);
}

std::string AtspiElement::applicationName() const {
    if (application_ == nullptr) return {};
    GError* error = nullptr;
    std::string name = take(atspi_accessible_get_name(static_cast<AtspiAccessible*>(application_), &error));
    return failed(error) ? std::string() : name;
}

std::string AtspiElement::toolkitName() const {
    if (application_ == nullptr) return {};
    GError* error = nullptr;
    std::string name = take(atspi_accessible_get_toolkit_name(static_cast<AtspiAccessible*>(application_), &error));
    return failed(error) ? std::string() : name;
}

std::optional<std::string> AtspiElement::text() const {
    TextIface iface(object_);
    if (!iface) return std::nullopt;
    GError* error = nullptr;
    std::string text = take(atspi_text_get_text(iface.text, 0, -1, &error));
    if (failed(error)) return std::nullopt;
    return text;
}

bool AtspiElement::countsUtf16() const {
    TextIface iface(object_);
    if (!iface) return false;
    GError* error = nullptr;
    const gint count = atspi_text_get_character_count(iface.text, &error);
    const std::string all = take(atspi_text_get_text(iface.text, 0, -1, &error));
    if (!failed(error)) {
        const auto units = static_cast<gint>(utf16Length(all));
        const auto points = static_cast<gint>(codePointCount(all));
        if (units != points && count == units) return true;
        if (units != points && count == points) return false;
    }
    // Nothing beyond the Basic Multilingual Plane to tell by (or no text, as in
    // a Qt password field): Qt counts UTF-16 units, the other toolkits code points.
    std::string toolkit = toolkitName();
    std::transform(toolkit.begin(), toolkit.end(), toolkit.begin(), [](unsigned char c) { return std::tolower(c); });
    return toolkit == "qt";
}

bool AtspiElement::isSame(const AtspiElement& other) const {
    if (object_ == other.object_) return true;
    // An object is known by the program's bus name and its path there.
    const auto* mine = reinterpret_cast<const AtspiObject*>(object_);
    const auto* theirs = reinterpret_cast<const AtspiObject*>(other.object_);
    if (mine->app == nullptr || theirs->app == nullptr) return false;
    return g_strcmp0(mine->app->bus_name, theirs->app->bus_name) == 0 && g_strcmp0(mine->path, theirs->path) == 0;
}

std::optional<long> AtspiElement::toToolkit(const std::string& text, long utf16) const {
    if (utf16 < 0) return std::nullopt;
    if (countsUtf16()) return utf16;
    auto points = utf16OffsetToCodePointOffset(text, static_cast<size_t>(utf16));
    if (!points) return std::nullopt;
    return static_cast<long>(*points);
}

std::optional<long> AtspiElement::fromToolkit(const std::string& text, long units) const {
    if (units < 0) return std::nullopt;
    if (countsUtf16()) return units;
    auto utf16 = codePointOffsetToUtf16Offset(text, static_cast<size_t>(units));
    if (!utf16) return std::nullopt;
    return static_cast<long>(*utf16);
}

std::optional<std::pair<long, long>> AtspiElement::selection() const {
    TextIface iface(object_);
    if (!iface) return std::nullopt;
    GError* error = nullptr;
    const gint count = atspi_text_get_n_selections(iface.text, &error);
    if (failed(error) || count <= 0) return std::nullopt;
    AtspiRange* range = atspi_text_get_selection(iface.text, 0, &error);
    // The range comes back even with an error: ours to free either way.
    if (failed(error) || range == nullptr) {
        g_free(range);
        return std::nullopt;
    }
    const long start = std::min(range->start_offset, range->end_offset);
    const long end = std::max(range->start_offset, range->end_offset);
    g_free(range);
    if (end <= start) return std::nullopt;
    const std::string all = text().value_or("");
    auto from = fromToolkit(all, start), to = fromToolkit(all, end);
    if (!from || !to) return std::nullopt;
    return std::make_pair(*from, *to - *from);
}

std::optional<long> AtspiElement::caret() const {
    TextIface iface(object_);
    if (!iface) return std::nullopt;
    GError* error = nullptr;
    const gint offset = atspi_text_get_caret_offset(iface.text, &error);
    if (failed(error) || offset < 0) return std::nullopt;
    return fromToolkit(text().value_or(""), offset);
}

std::optional<std::pair<long, long>> AtspiElement::selectedRange() const {
    if (auto range = selection()) return range;
    if (auto at = caret()) return std::make_pair(*at, 0L);
    return std::nullopt;
}

std::optional<std::string> AtspiElement::textIn(long location, long length) const {
    auto all = text();
    if (!all || location < 0 || length < 0) return std::nullopt;
    return substringUtf16(*all, static_cast<size_t>(location), static_cast<size_t>(length));
}

std::optional<Rect> AtspiElement::bounds(long location, long length) const {
    TextIface iface(object_);
    if (!iface || location < 0 || length < 0) return std::nullopt;
    const std::string all = text().value_or("");
    auto start = toToolkit(all, location), end = toToolkit(all, location + length);
    if (!start || !end) return std::nullopt;
    GError* error = nullptr;
    ::AtspiRect* rect = length > 0
                          ? atspi_text_get_range_extents(iface.text, *start, *end, ATSPI_COORD_TYPE_SCREEN, &error)
                          : atspi_text_get_character_extents(iface.text, *start, ATSPI_COORD_TYPE_SCREEN, &error);
    if (failed(error) || rect == nullptr) {
        g_free(rect);
        return std::nullopt;
    }
    // With length 0 only the position counts: a caret has no width.
    const Rect out{static_cast<double>(rect->x), static_cast<double>(rect->y),
                                              length > 0 ? static_cast<double>(rect->width) : 0.0,
                                              static_cast<double>(rect->height)};
    g_free(rect);
    return out;
}

bool AtspiElement::select(long location, long length) const {
    TextIface iface(object_);
    if (!iface || location < 0 || length < 0) return false;
    const std::string all = text().value_or("");
    auto start = toToolkit(all, location), end = toToolkit(all, location + length);
    if (!start || !end) return false;
    GError* error = nullptr;
    gboolean done = atspi_text_set_selection(iface.text, 0, *start, *end, &error);
    if (failed(error)) done = FALSE;
    // GTK refuses to move a selection that does not exist yet: add one instead.
    if (!done) {
        done = atspi_text_add_selection(iface.text, *start, *end, &error);
        if (failed(error)) done = FALSE;
    }
    return done != FALSE;
}

// --- AtspiClient --------------------------------------------------------------------------------

AtspiClient::Answer AtspiClient::busAvailable() {
    const BusReply owned = sessionCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                       "NameHasOwner", g_variant_new("(s)", "org.a11y.Bus"));
    if (owned.value == nullptr) return owned.late ? Answer::late : Answer::no;
    gboolean has = FALSE;
    g_variant_get(owned.value, "(b)", &has);
    g_variant_unref(owned.value);
    if (has) return Answer::yes;
    const BusReply names = sessionCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                       "ListActivatableNames", nullptr);
    if (names.value == nullptr) return names.late ? Answer::late : Answer::no;
    GVariantIter* iter = nullptr;
    const gchar* name = nullptr;
    bool found = false;
    g_variant_get(names.value, "(as)", &iter);
    while (g_variant_iter_loop(iter, "&s", &name)) found = found || g_strcmp0(name, "org.a11y.Bus") == 0;
    g_variant_iter_free(iter);
    g_variant_unref(names.value);
    return found ? Answer::yes : Answer::no;
}

AtspiClient::Answer AtspiClient::accessibilityEnabled() {
    const BusReply reply = sessionCall("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
                                       g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"));
    if (reply.value == nullptr) return reply.late ? Answer::late : Answer::no;
    GVariant* value = nullptr;
    g_variant_get(reply.value, "(v)", &value);
    const bool enabled = value != nullptr && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) &&
                         g_variant_get_boolean(value);
    if (value != nullptr) g_variant_unref(value);
    g_variant_unref(reply.value);
    return enabled ? Answer::yes : Answer::no;
}

bool AtspiClient::enableAccessibility() {
    const BusReply reply =
        sessionCall("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                    g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)));
    if (reply.value == nullptr) return false;
    g_variant_unref(reply.value);
    return true;
}

AtspiClient::AtspiClient() {
    // Calls into a hung program give up after these (milliseconds); the
    // second applies during a program's first seconds on the bus.
    atspi_set_timeout(800, 2000);
}

AtspiClient& AtspiClient::shared() {
    using Kind = AccessibilityError::Kind;
    static std::mutex mutex;
    static AtspiClient* client = nullptr;
    // Why there is none, once the session answered so.
    static std::optional<AccessibilityError> absent;
    std::lock_guard lock(mutex);
    if (client != nullptr) return *client;
    if (absent) throw *absent;
    if (sessionBusAddress().empty()) {
        absent.emplace(Kind::noSessionBus, "no session bus address");
        throw *absent;
    }
    switch (busAvailable()) {
        case Answer::yes: break;
        // Asked again at the next use: a busy bus is no missing one.
        case Answer::late: throw AccessibilityError(Kind::noAnswer, "the session bus, asked for org.a11y.Bus");
        case Answer::no:
            absent.emplace(Kind::noAccessibilityBus, "org.a11y.Bus is not on the session bus");
            throw *absent;
    }
    const int rc = atspi_init();
    if (rc != 0 && rc != 1) {
        absent.emplace(Kind::noAccessibilityBus, "atspi_init failed");
        throw *absent;
    }
    client = new AtspiClient();
    return *client;
}

std::vector<int> AtspiClient::applications() {
    std::vector<int> pids;
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (desktop == nullptr) return pids;
    GError* error = nullptr;
    const int count = atspi_accessible_get_child_count(desktop, &error);
    for (int i = 0; !failed(error) && i < count; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, &error);
        if (failed(error) || app == nullptr) continue;
        const guint pid = atspi_accessible_get_process_id(app, &error);
        if (!failed(error) && static_cast<int>(pid) != getpid()) pids.push_back(static_cast<int>(pid));
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return pids;
}

bool AtspiClient::takeUnansweredNote() { return std::exchange(requestUnanswered, false); }

AtspiClient::FocusSearch AtspiClient::findFocus(int pid) {
    FocusSearch search;
    if (pid <= 0 || pid == getpid()) return search;
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (desktop == nullptr) return search;
    takeUnansweredNote();
    GError* error = nullptr;
    const int count = atspi_accessible_get_child_count(desktop, &error);
    std::shared_ptr<AtspiElement>& result = search.element;
    for (int i = 0; !failed(error) && i < count && !result; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, &error);
        if (failed(error) || app == nullptr) continue;
        // The bus daemon answers this one, never the program itself.
        const guint appPid = atspi_accessible_get_process_id(app, &error);
        if (failed(error) || static_cast<int>(appPid) != pid) {
            g_object_unref(app);
            continue;
        }
        search.listed = true;
        // What went unanswered before (the bus daemon's part) is not the program's.
        takeUnansweredNote();
        const int windows = atspi_accessible_get_child_count(app, &error);
        // Active windows first, then the others.
        for (int pass = 0; pass < 2 && !result && !failed(error); ++pass) {
            for (int w = 0; w < windows && !result; ++w) {
                AtspiAccessible* window = atspi_accessible_get_child_at_index(app, w, &error);
                if (failed(error) || window == nullptr) continue;
                if (hasState(window, ATSPI_STATE_ACTIVE) == (pass == 0)) {
                    int visited = 0;
                    if (AtspiAccessible* focused = findFocused(window, visited))
                        result.reset(new AtspiElement(focused, g_object_ref(app)));
                }
                g_object_unref(window);
            }
        }
        search.unanswered = search.unanswered || takeUnansweredNote();
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return search;
}

}  // namespace platform::accessibility
