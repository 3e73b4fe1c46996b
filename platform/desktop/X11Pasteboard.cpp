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

// The items as one selection's forms: their types merged, the first data
// winning for a type offered twice.
std::vector<SelectionData> formsOf(const std::vector<PasteboardItem>& items) {
    std::vector<SelectionData> forms;
    std::set<std::string> seen;
    for (const auto& item : items)
        for (const auto& [type, data] : item.representations) {
            if (isMetaTarget(type) || !seen.insert(type).second) continue;
            forms.push_back(SelectionData{type, typeFor(type), 8, std::vector<unsigned char>(data.begin(), data.end())});
        }
    return forms;
}

std::vector<PasteboardItem> itemsOf(const std::vector<SelectionData>& forms) {
    if (forms.empty()) return {};
    PasteboardItem item;
    for (const auto& form : forms)
        item.representations.emplace_back(form.target, std::string(form.bytes.begin(), form.bytes.end()));
    return {item};
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

X11SelectionReader* X11Pasteboard::primaryReader() {
    if (primary_) return primary_.get();
    if (reader() == nullptr) return nullptr;
    try {
        primary_ = std::make_unique<X11SelectionReader>("PRIMARY");
    } catch (const DesktopError&) {
        return nullptr;
    }
    return primary_.get();
}

std::vector<PasteboardItem> X11Pasteboard::items() {
    std::lock_guard lock(mutex_);
    X11SelectionReader* r = reader();
    return r == nullptr ? std::vector<PasteboardItem>{} : itemsOf(r->readAll());
}

void X11Pasteboard::clearContents() {
    std::lock_guard lock(mutex_);
    giveUp(reader(), owner_);
}

bool X11Pasteboard::giveUp(X11SelectionReader* selection, std::unique_ptr<ClipboardOwnerProcess>& owner) {
    if (selection == nullptr) return false;
    if (owner) {
        owner->quit();
        owner.reset();
    }
    selection->clear();
    return true;
}

GiveBack X11Pasteboard::own(const std::string& selection, const std::vector<SelectionData>& forms,
                            std::unique_ptr<ClipboardOwnerProcess>& owner, unsigned long notTakenAfter) {
    if (reader() == nullptr) return GiveBack::failed;
    try {
        auto next = ClipboardOwnerProcess::start(forms, selection, notTakenAfter);
        // The helper before has just lost the selection to the new one.
        if (owner) owner->quit();
        owner = std::move(next);
        return GiveBack::done;
    } catch (const DesktopError& e) {
        const bool taken = e.kind() == DesktopError::Kind::refused;
        if (!taken || notTakenAfter == CurrentTime) log().error(selection + " not written: " + e.description());
        return taken ? GiveBack::takenMeanwhile : GiveBack::failed;
    }
}

GiveBack X11Pasteboard::giveBack(X11SelectionReader* reader, const std::string& selection,
                                 const std::vector<PasteboardItem>& items, int64_t since,
                                 std::unique_ptr<ClipboardOwnerProcess>& owner) {
    if (reader == nullptr) return GiveBack::failed;
    const auto lastChange = reader->lastChangeTimeIfUnchangedSince(static_cast<uint64_t>(since));
    if (!lastChange) return GiveBack::takenMeanwhile;
    const auto forms = formsOf(items);
    if (!forms.empty()) return own(selection, forms, owner, *lastChange);
    if (!reader->clearUnlessTakenAfter(*lastChange)) return GiveBack::takenMeanwhile;
    if (owner) owner->quit();
    owner.reset();
    return GiveBack::done;
}

bool X11Pasteboard::writeItems(const std::vector<PasteboardItem>& items) {
    std::lock_guard lock(mutex_);
    const auto forms = formsOf(items);
    return forms.empty() ? giveUp(reader(), owner_) : own("CLIPBOARD", forms, owner_) == GiveBack::done;
}

bool X11Pasteboard::setString(const std::string& text) {
    std::lock_guard lock(mutex_);
    return own("CLIPBOARD", textForms(text), owner_) == GiveBack::done;
}

GiveBack X11Pasteboard::giveBackItems(const std::vector<PasteboardItem>& items, int64_t since) {
    std::lock_guard lock(mutex_);
    return giveBack(reader(), "CLIPBOARD", items, since, owner_);
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

bool X11Pasteboard::takenBy(int32_t pid) {
    std::lock_guard lock(mutex_);
    return owner_ && owner_->takenBy(pid);
}

void X11Pasteboard::markPasteKey() {
    std::lock_guard lock(mutex_);
    for (auto* owner : {owner_.get(), primaryOwner_.get()})
        if (owner != nullptr) owner->markPasteKey();
}

std::optional<PrimarySelection> X11Pasteboard::primarySelection() {
    std::lock_guard lock(mutex_);
    X11SelectionReader* r = primaryReader();
    if (r == nullptr) return std::nullopt;
    auto text = r->text();
    if (!text) return std::nullopt;
    PrimarySelection out{*text, std::nullopt};
    if (const auto pid = r->ownerProcessId()) out.ownerProcessId = *pid;
    return out;
}

std::vector<PasteboardItem> X11Pasteboard::primaryItems() {
    std::lock_guard lock(mutex_);
    X11SelectionReader* r = primaryReader();
    return r == nullptr ? std::vector<PasteboardItem>{} : itemsOf(r->readAll());
}

bool X11Pasteboard::writePrimaryItems(const std::vector<PasteboardItem>& items) {
    std::lock_guard lock(mutex_);
    const auto forms = formsOf(items);
    return forms.empty() ? giveUp(primaryReader(), primaryOwner_)
                         : own("PRIMARY", forms, primaryOwner_) == GiveBack::done;
}

bool X11Pasteboard::setPrimaryString(const std::string& text) {
    std::lock_guard lock(mutex_);
    return own("PRIMARY", textForms(text), primaryOwner_) == GiveBack::done;
}

int64_t X11Pasteboard::primaryChangeCount() {
    std::lock_guard lock(mutex_);
    X11SelectionReader* r = primaryReader();
    return r == nullptr ? 0 : static_cast<int64_t>(r->changeCount());
}

GiveBack X11Pasteboard::giveBackPrimaryItems(const std::vector<PasteboardItem>& items, int64_t since) {
    std::lock_guard lock(mutex_);
    return giveBack(primaryReader(), "PRIMARY", items, since, primaryOwner_);
}

bool X11Pasteboard::primaryTakenBy(int32_t pid) {
    std::lock_guard lock(mutex_);
    return primaryOwner_ && primaryOwner_->takenBy(pid);
}

}  // namespace platform::desktop
