#include "platform/desktop/X11Pasteboard.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <set>

#include "platform/desktop/ClipboardOwnerProcess.hpp"
#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/X11Selection.hpp"
#include "platform/input/SessionType.hpp"
#include "platform/log/SystemLog.hpp"

namespace platform::desktop {

namespace {

const SystemLogger& log() {
    static const SystemLogger logger("Parlox", "pasteboard");
    return logger;
}

// The X property type a form is written with: the text names carry their
// classic types, any other target its own name.
std::string typeFor(const std::string& target) {
    if (target == "UTF8_STRING" || target == "TEXT" || target == "COMPOUND_TEXT") return "UTF8_STRING";
    if (target == "STRING") return "STRING";
    return target;
}

}  // namespace

X11Pasteboard::X11Pasteboard() = default;

X11Pasteboard::~X11Pasteboard() = default;

X11SelectionReader* X11Pasteboard::reader() {
    if (reader_ || failed_) return reader_.get();
    if (input::waylandWithoutX11()) {
        failed_ = true;
        log().error("Wayland session: the clipboard is driven through X11 only; it stays empty");
        return nullptr;
    }
    try {
        reader_ = std::make_unique<X11SelectionReader>("CLIPBOARD");
    } catch (const DesktopError& e) {
        failed_ = true;
        log().error("Clipboard unavailable: " + e.description());
    }
    return reader_.get();
}

std::vector<PasteboardItem> X11Pasteboard::items() {
    std::lock_guard lock(mutex_);
    X11SelectionReader* r = reader();
    if (r == nullptr) return {};
    const auto forms = r->readAll();
    if (forms.empty()) return {};
    PasteboardItem item;
    for (const auto& form : forms)
        item.representations.emplace_back(form.target, std::string(form.bytes.begin(), form.bytes.end()));
    return {item};
}

void X11Pasteboard::clearContents() {
    std::lock_guard lock(mutex_);
    X11SelectionReader* r = reader();
    if (r == nullptr) return;
    if (owner_) {
        owner_->quit();
        owner_.reset();
    }
    r->clear();
}

void X11Pasteboard::own(const std::vector<SelectionData>& forms) {
    if (reader() == nullptr) return;
    if (owner_) owner_->quit();
    owner_.reset();
    try {
        owner_ = ClipboardOwnerProcess::start(forms);
    } catch (const DesktopError& e) {
        log().error("Clipboard not written: " + e.description());
    }
}

void X11Pasteboard::writeItems(const std::vector<PasteboardItem>& items) {
    std::lock_guard lock(mutex_);
    std::vector<SelectionData> forms;
    std::set<std::string> seen;
    for (const auto& item : items)
        for (const auto& [type, data] : item.representations) {
            if (isMetaTarget(type) || !seen.insert(type).second) continue;
            forms.push_back(SelectionData{type, typeFor(type), 8, std::vector<unsigned char>(data.begin(), data.end())});
        }
    if (!forms.empty()) own(forms);
}

void X11Pasteboard::setString(const std::string& text) {
    std::lock_guard lock(mutex_);
    own(textForms(text));
}

std::optional<std::string> X11Pasteboard::string() {
    std::lock_guard lock(mutex_);
    X11SelectionReader* r = reader();
    return r == nullptr ? std::nullopt : r->text();
}

int64_t X11Pasteboard::changeCount() {
    std::lock_guard lock(mutex_);
    X11SelectionReader* r = reader();
    return r == nullptr ? 0 : static_cast<int64_t>(r->changeCount());
}

std::optional<PrimarySelection> X11Pasteboard::primarySelection() {
    std::lock_guard lock(mutex_);
    if (reader() == nullptr) return std::nullopt;
    try {
        if (!primary_) primary_ = std::make_unique<X11SelectionReader>("PRIMARY");
    } catch (const DesktopError&) {
        return std::nullopt;
    }
    auto text = primary_->text();
    if (!text) return std::nullopt;
    PrimarySelection out{*text, std::nullopt};
    if (const auto pid = primary_->ownerProcessId()) out.ownerProcessId = *pid;
    return out;
}

}  // namespace platform::desktop
