#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/accessibility/Accessibility.hpp"
#include "platform/foundation/Unicode.hpp"

namespace platform::accessibility {

// An editable text field in another application, for tests: its text, its
// selection (UTF-16 units), its role, the rectangles it reports per range,
// and what it does with keys a test routes to it (paste, delete, undo).
class FakeTextField final : public Element {
public:
    explicit FakeTextField(std::string text = {}, TextRange selection = {}) : text_(std::move(text)), selection_(selection) {}

    // ---- What tests set ----
    void setText(std::string text, TextRange selection) {
        std::lock_guard lock(mutex_);
        text_ = std::move(text);
        selection_ = selection;
    }
    void setRole(std::optional<std::string> role, std::optional<std::string> subrole = std::nullopt) {
        std::lock_guard lock(mutex_);
        role_ = std::move(role);
        subrole_ = std::move(subrole);
    }
    // The field gives no selected text (it still gives its range).
    void setSelectedTextReadable(bool readable) {
        std::lock_guard lock(mutex_);
        selectedTextReadable_ = readable;
    }
    void setRangeReadable(bool readable) {
        std::lock_guard lock(mutex_);
        rangeReadable_ = readable;
    }
    // The field refuses selection changes.
    void setSelectable(bool selectable) {
        std::lock_guard lock(mutex_);
        selectable_ = selectable;
    }
    // Bounds reported per range; ranges without an entry give none.
    void setBounds(TextRange range, std::optional<Rect> bounds) {
        std::lock_guard lock(mutex_);
        if (bounds)
            bounds_[key(range)] = *bounds;
        else
            bounds_.erase(key(range));
    }
    // A terminal: a paste goes in at its cursor `caret`, whatever is
    // selected, and the cursor moves past it.
    void setTerminalCursor(int64_t caret) {
        std::lock_guard lock(mutex_);
        cursor_ = caret;
    }
    // A selection the field takes shows only after `reads` more reads of
    // the selection (as a browser applies it a moment later); -1: never.
    void setSelectionLag(int reads) {
        std::lock_guard lock(mutex_);
        selectionLag_ = reads;
    }
    // The next `reads` reads of the selection go unanswered (the program
    // did not answer in time): they give none.
    void setUnansweredReads(int reads) {
        std::lock_guard lock(mutex_);
        unansweredReads_ = reads;
    }
    // The field ignores pasted text.
    void setAcceptsPaste(bool accepts) {
        std::lock_guard lock(mutex_);
        acceptsPaste_ = accepts;
    }

    // ---- What the keys do (routed here by the test's desktop) ----
    // Replaces the selection with `text` and puts the caret after it.
    bool paste(const std::string& inserted) {
        std::lock_guard lock(mutex_);
        if (!acceptsPaste_) return false;
        undo_.push_back({text_, selection_});
        if (cursor_) {
            selection_ = {*cursor_, 0};
            replaceSelection(inserted);
            cursor_ = selection_.location;
        } else {
            replaceSelection(inserted);
        }
        return true;
    }
    // Deletes the selection, or the character before the caret.
    void deleteBackward() {
        std::lock_guard lock(mutex_);
        undo_.push_back({text_, selection_});
        if (selection_.length == 0 && selection_.location > 0) {
            // One code point back (two units for a surrogate pair).
            int64_t back = 1;
            auto before = substringUtf16(text_, static_cast<size_t>(selection_.location - 1), 1);
            if (!before) back = 2;
            selection_ = {selection_.location - back, back};
        }
        replaceSelection("");
    }
    // Takes back the last edit made through paste or delete.
    bool undo() {
        std::lock_guard lock(mutex_);
        if (undo_.empty()) return false;
        text_ = undo_.back().first;
        selection_ = undo_.back().second;
        undo_.pop_back();
        return true;
    }
    // What the user does by hand: the text changes and cannot be undone by key.
    void edit(std::string text, TextRange selection) {
        std::lock_guard lock(mutex_);
        text_ = std::move(text);
        selection_ = selection;
        undo_.clear();
    }

    // ---- What tests read ----
    std::string text() const {
        std::lock_guard lock(mutex_);
        return text_;
    }
    TextRange selection() const {
        std::lock_guard lock(mutex_);
        return selection_;
    }
    std::string selectionText() const {
        std::lock_guard lock(mutex_);
        return selectedUnlocked().value_or("");
    }
    std::vector<TextRange> selectionRequests() const {
        std::lock_guard lock(mutex_);
        return selectionRequests_;
    }
    std::vector<TextRange> boundsRequests() const {
        std::lock_guard lock(mutex_);
        return boundsRequests_;
    }

    // ---- Element ----
    std::optional<std::string> role() override {
        std::lock_guard lock(mutex_);
        return role_;
    }
    std::optional<std::string> subrole() override {
        std::lock_guard lock(mutex_);
        return subrole_;
    }
    std::optional<std::string> selectedText() override {
        std::lock_guard lock(mutex_);
        if (unanswered()) return std::nullopt;
        if (!selectedTextReadable_) return std::nullopt;
        applyLateSelection();
        return selectedUnlocked();
    }
    std::optional<TextRange> selectedTextRange() override {
        std::lock_guard lock(mutex_);
        if (unanswered()) return std::nullopt;
        if (!rangeReadable_) return std::nullopt;
        applyLateSelection();
        return selection_;
    }
    std::optional<int64_t> caretOffset() override {
        std::lock_guard lock(mutex_);
        if (!rangeReadable_) return std::nullopt;
        return cursor_ ? *cursor_ : selection_.location + selection_.length;
    }
    std::optional<std::string> textInRange(const TextRange& range) override {
        std::lock_guard lock(mutex_);
        if (!rangeReadable_ || range.location < 0 || range.length < 0) return std::nullopt;
        return substringUtf16(text_, static_cast<size_t>(range.location), static_cast<size_t>(range.length));
    }
    bool setSelectedTextRange(const TextRange& range) override {
        std::lock_guard lock(mutex_);
        selectionRequests_.push_back(range);
        if (!selectable_ || range.location < 0 || range.length < 0 ||
            range.location + range.length > static_cast<int64_t>(utf16Length(text_)))
            return false;
        if (selectionLag_ != 0) {
            lateSelection_ = range;
            readsUntilApplied_ = selectionLag_;
        } else {
            selection_ = range;
        }
        return true;
    }
    bool lastReadUnanswered() override {
        std::lock_guard lock(mutex_);
        return lastReadUnanswered_;
    }
    std::optional<Rect> boundsForRange(const TextRange& range) override {
        std::lock_guard lock(mutex_);
        boundsRequests_.push_back(range);
        auto it = bounds_.find(key(range));
        if (it == bounds_.end()) return std::nullopt;
        return it->second;
    }

private:
    static std::pair<int64_t, int64_t> key(TextRange range) { return {range.location, range.length}; }

    bool unanswered() {
        lastReadUnanswered_ = unansweredReads_ > 0;
        if (lastReadUnanswered_) --unansweredReads_;
        return lastReadUnanswered_;
    }

    void applyLateSelection() {
        if (!lateSelection_ || readsUntilApplied_ < 0) return;
        if (readsUntilApplied_-- > 0) return;
        selection_ = *lateSelection_;
        lateSelection_.reset();
    }

    std::optional<std::string> selectedUnlocked() const {
        return substringUtf16(text_, static_cast<size_t>(selection_.location), static_cast<size_t>(selection_.length));
    }

    void replaceSelection(const std::string& inserted) {
        const auto begin = utf16OffsetToByteOffset(text_, static_cast<size_t>(selection_.location));
        const auto end = utf16OffsetToByteOffset(text_, static_cast<size_t>(selection_.location + selection_.length));
        if (!begin || !end) return;
        text_ = text_.substr(0, *begin) + inserted + text_.substr(*end);
        selection_ = {selection_.location + static_cast<int64_t>(utf16Length(inserted)), 0};
    }

    mutable std::mutex mutex_;
    std::string text_;
    TextRange selection_;
    std::optional<std::string> role_ = std::string(roles::text);
    std::optional<std::string> subrole_;
    bool selectedTextReadable_ = true;
    bool rangeReadable_ = true;
    bool selectable_ = true;
    bool acceptsPaste_ = true;
    std::optional<int64_t> cursor_;
    int selectionLag_ = 0;
    int unansweredReads_ = 0;
    bool lastReadUnanswered_ = false;
    std::optional<TextRange> lateSelection_;
    int readsUntilApplied_ = 0;
    std::map<std::pair<int64_t, int64_t>, Rect> bounds_;
    std::vector<std::pair<std::string, TextRange>> undo_;
    std::vector<TextRange> selectionRequests_;
    std::vector<TextRange> boundsRequests_;
};

// The accessibility service for tests: a trust flag and the focused element
// of each process.
class FakeAccessibility final : public Accessibility {
public:
    bool trusted = true;
    // Why it is not trusted while `trusted` is false.
    TrustGap untrustedBecause = TrustGap::assistiveTechnologiesOff;
    // What requestTrust() turns `trusted` into.
    bool grantsTrustOnRequest = false;

    void setFocusedElement(int32_t pid, ElementRef element) {
        std::lock_guard lock(mutex_);
        if (element)
            focused_[pid] = std::move(element);
        else
            focused_.erase(pid);
    }

    bool isProcessTrusted() override {
        std::lock_guard lock(mutex_);
        ++trustChecks_;
        return trusted;
    }
    TrustGap trustGap() override { return isProcessTrusted() ? TrustGap::none : untrustedBecause; }
    bool requestTrust() override {
        std::lock_guard lock(mutex_);
        ++trustRequests_;
        if (grantsTrustOnRequest) trusted = true;
        return trusted;
    }
    void exposeApplication(int32_t pid) override {
        std::lock_guard lock(mutex_);
        exposed_.push_back(pid);
    }
    ElementRef focusedElement(int32_t pid) override {
        std::lock_guard lock(mutex_);
        auto it = focused_.find(pid);
        return it == focused_.end() ? nullptr : it->second;
    }
    // The scripted misses first, one per look-up, then the focused element.
    FocusLookup lookUpFocus(int32_t pid) override {
        std::function<void()> hook;
        {
            std::lock_guard lock(mutex_);
            hook = onLookUp_;
        }
        if (hook) hook();
        {
            std::lock_guard lock(mutex_);
            ++lookUps_;
            if (!misses_.empty()) {
                const auto miss = misses_.front();
                misses_.erase(misses_.begin());
                return {nullptr, miss};
            }
        }
        return Accessibility::lookUpFocus(pid);
    }
    // Runs at every look-up, before it is answered: the desktop moving on meanwhile.
    void onLookUp(std::function<void()> hook) {
        std::lock_guard lock(mutex_);
        onLookUp_ = std::move(hook);
    }
    // The next look-ups find nothing, for these reasons in turn.
    void scriptMisses(std::vector<FocusLookup::Miss> misses) {
        std::lock_guard lock(mutex_);
        misses_ = std::move(misses);
    }
    int lookUps() const {
        std::lock_guard lock(mutex_);
        return lookUps_;
    }

    std::vector<int32_t> exposedApplications() const {
        std::lock_guard lock(mutex_);
        return exposed_;
    }
    int trustChecks() const {
        std::lock_guard lock(mutex_);
        return trustChecks_;
    }
    int trustRequests() const {
        std::lock_guard lock(mutex_);
        return trustRequests_;
    }

private:
    mutable std::mutex mutex_;
    std::map<int32_t, ElementRef> focused_;
    std::vector<int32_t> exposed_;
    std::vector<FocusLookup::Miss> misses_;
    std::function<void()> onLookUp_;
    int lookUps_ = 0;
    int trustChecks_ = 0;
    int trustRequests_ = 0;
};

}  // namespace platform::accessibility
