#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop/Pasteboard.hpp"

namespace platform::desktop {

// An in-memory pasteboard with its primary selection, for tests. It counts
// changes, logs every operation, can refuse writes as a desktop whose
// clipboard does not work, notes which programs took what was written, and
// plays late applications: a text armed with copyOnChangeCountRead(n, text)
// lands on the n-th read of the change count after arming (a copy answered
// late), and a reader armed with takeOnQuery(n, pid) takes the text on the
// n-th takenBy() query (a paste handled late). A clipboard manager may read
// every write at once. Another program may take a selection just as this
// process's next write to it begins, as it would while the desktop's
// helper starts up; a give-back then finds it taken.
class FakePasteboard final : public Pasteboard {
public:
    enum class Operation {
        items, clear, writeItems, setString, string, changeCount, takenBy, markPasteKey, giveBackItems,
        primary, primaryItems, writePrimaryItems, setPrimaryString, primaryTakenBy, primaryChangeCount,
        giveBackPrimaryItems
    };

    // ---- Test side ----
    // Contents as another application would leave them (counts as a change).
    void setContents(std::vector<PasteboardItem> items) {
        std::lock_guard lock(mutex_);
        items_ = std::move(items);
        takers_.clear();
        ++changeCount_;
    }
    std::vector<PasteboardItem> contents() const {
        std::lock_guard lock(mutex_);
        return items_;
    }
    // The primary selection as another application would leave it.
    void setPrimary(std::optional<PrimarySelection> selection) {
        std::lock_guard lock(mutex_);
        primaryItems_ = selection ? textItems(selection->text) : std::vector<PasteboardItem>{};
        primaryOwner_ = selection ? selection->ownerProcessId : std::nullopt;
        primaryTakers_.clear();
        ++primaryChangeCount_;
    }
    std::vector<PasteboardItem> primaryContents() const {
        std::lock_guard lock(mutex_);
        return primaryItems_;
    }
    // Writes fail from now on (true) or work again (false).
    void failWrites(bool fail) {
        std::lock_guard lock(mutex_);
        failWrites_ = fail;
    }
    // Another program copies `text` as this process's next write to the
    // pasteboard begins, before that write takes it.
    void copyAtNextWrite(std::string text) {
        std::lock_guard lock(mutex_);
        copyAtNextWrite_ = std::move(text);
    }
    // The same for the primary selection: the user selects `text` in the
    // program `owner`.
    void selectAtNextPrimaryWrite(std::string text, int32_t owner) {
        std::lock_guard lock(mutex_);
        selectAtNextPrimaryWrite_ = PrimarySelection{std::move(text), owner};
    }
    void copyOnChangeCountRead(int readNumber, std::string text) {
        std::lock_guard lock(mutex_);
        pendingReads_ = readNumber;
        pendingText_ = std::move(text);
    }
    // Makes `text` the plain text, as an application answering a copy does.
    void receiveCopy(const std::string& text) {
        std::lock_guard lock(mutex_);
        setStringUnlocked(text);
    }
    // The plain text, as the program `reader` gets it when it pastes (none:
    // a program the desktop cannot name).
    std::optional<std::string> deliver(std::optional<int32_t> reader) {
        std::lock_guard lock(mutex_);
        return hand(items_, takers_, reader);
    }
    // The same from the primary selection.
    std::optional<std::string> deliverPrimary(int32_t reader) {
        std::lock_guard lock(mutex_);
        return hand(primaryItems_, primaryTakers_, reader);
    }
    // A clipboard manager that reads whatever is written on the pasteboard
    // as soon as it is written; none: one the desktop cannot name, whose
    // reads count as any program's.
    void addClipboardManager(std::optional<int32_t> reader) {
        std::lock_guard lock(mutex_);
        manager_.emplace(reader);
    }
    void takeOnQuery(int queryNumber, int32_t reader) {
        std::lock_guard lock(mutex_);
        pendingQueries_ = queryNumber;
        lateReader_ = reader;
    }
    // The texts handed to pasting programs, in order.
    std::vector<std::string> delivered() const {
        std::lock_guard lock(mutex_);
        return delivered_;
    }
    std::vector<Operation> operations() const {
        std::lock_guard lock(mutex_);
        return operations_;
    }
    int changeCountReads() const {
        std::lock_guard lock(mutex_);
        return changeCountReads_;
    }
    void clearLog() {
        std::lock_guard lock(mutex_);
        operations_.clear();
        changeCountReads_ = 0;
    }

    // ---- Pasteboard ----
    std::vector<PasteboardItem> items() override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::items);
        return items_;
    }
    void clearContents() override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::clear);
        items_.clear();
        takers_.clear();
        ++changeCount_;
    }
    bool writeItems(const std::vector<PasteboardItem>& items) override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::writeItems);
        otherProgramsWrite();
        if (failWrites_) return false;
        takeItems(items);
        return true;
    }
    bool setString(const std::string& text) override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::setString);
        otherProgramsWrite();
        if (failWrites_) return false;
        setStringUnlocked(text);
        return true;
    }
    std::optional<std::string> string() override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::string);
        return textOf(items_);
    }
    int64_t changeCount() override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::changeCount);
        ++changeCountReads_;
        if (pendingReads_ > 0 && --pendingReads_ == 0) setStringUnlocked(pendingText_);
        return changeCount_;
    }
    bool takenBy(int32_t pid) override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::takenBy);
        if (pendingQueries_ > 0 && --pendingQueries_ == 0) hand(items_, takers_, lateReader_);
        return contains(takers_, pid);
    }
    GiveBack giveBackItems(const std::vector<PasteboardItem>& items, int64_t since) override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::giveBackItems);
        otherProgramsWrite();
        if (changeCount_ != since) return GiveBack::takenMeanwhile;
        if (failWrites_) return GiveBack::failed;
        takeItems(items);
        return GiveBack::done;
    }
    void markPasteKey() override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::markPasteKey);
        takers_.clear();
        primaryTakers_.clear();
    }
    std::optional<PrimarySelection> primarySelection() override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::primary);
        auto text = textOf(primaryItems_);
        if (!text) return std::nullopt;
        return PrimarySelection{*text, primaryOwner_};
    }
    std::vector<PasteboardItem> primaryItems() override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::primaryItems);
        return primaryItems_;
    }
    bool writePrimaryItems(const std::vector<PasteboardItem>& items) override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::writePrimaryItems);
        otherProgramsSelect();
        if (failWrites_) return false;
        takePrimary(items);
        return true;
    }
    bool setPrimaryString(const std::string& text) override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::setPrimaryString);
        otherProgramsSelect();
        if (failWrites_) return false;
        takePrimary(textItems(text));
        return true;
    }
    bool primaryTakenBy(int32_t pid) override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::primaryTakenBy);
        return contains(primaryTakers_, pid);
    }
    int64_t primaryChangeCount() override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::primaryChangeCount);
        return primaryChangeCount_;
    }
    GiveBack giveBackPrimaryItems(const std::vector<PasteboardItem>& items, int64_t since) override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::giveBackPrimaryItems);
        otherProgramsSelect();
        if (primaryChangeCount_ != since) return GiveBack::takenMeanwhile;
        if (failWrites_) return GiveBack::failed;
        takePrimary(items);
        return GiveBack::done;
    }

private:
    static std::vector<PasteboardItem> textItems(const std::string& text) {
        return {PasteboardItem{{{std::string(plainTextType), text}}}};
    }
    static std::optional<std::string> textOf(const std::vector<PasteboardItem>& items) {
        for (const auto& item : items)
            for (const auto& [type, bytes] : item.representations)
                if (type == plainTextType) return bytes;
        return std::nullopt;
    }
    static bool contains(const std::vector<std::optional<int32_t>>& readers, int32_t pid) {
        for (const auto& reader : readers)
            if (!reader || *reader == pid) return true;
        return false;
    }
    // The plain text of `items`, handed to `reader`, who is noted among `takers`.
    std::optional<std::string> hand(const std::vector<PasteboardItem>& items,
                                    std::vector<std::optional<int32_t>>& takers, std::optional<int32_t> reader) {
        takers.push_back(reader);
        auto text = textOf(items);
        delivered_.push_back(text.value_or(""));
        return text;
    }
    void setStringUnlocked(const std::string& text) { takeItems(textItems(text)); }
    void takeItems(std::vector<PasteboardItem> items) {
        items_ = std::move(items);
        takers_.clear();
        ++changeCount_;
        managerReads();
    }
    // What another program armed to take a selection does at this write.
    void otherProgramsWrite() {
        if (copyAtNextWrite_) setStringUnlocked(*std::exchange(copyAtNextWrite_, std::nullopt));
    }
    void otherProgramsSelect() {
        if (!selectAtNextPrimaryWrite_) return;
        const auto selection = *std::exchange(selectAtNextPrimaryWrite_, std::nullopt);
        takePrimary(textItems(selection.text));
        primaryOwner_ = selection.ownerProcessId;
    }
    void managerReads() {
        if (manager_) hand(items_, takers_, *manager_);
    }
    // This process holds the primary selection now.
    void takePrimary(std::vector<PasteboardItem> items) {
        primaryItems_ = std::move(items);
        primaryOwner_ = std::nullopt;
        primaryTakers_.clear();
        ++primaryChangeCount_;
    }

    mutable std::mutex mutex_;
    std::vector<PasteboardItem> items_;
    int64_t changeCount_ = 0;
    std::vector<std::optional<int32_t>> takers_;  // none: a reader the desktop cannot name
    std::optional<std::optional<int32_t>> manager_;
    std::vector<PasteboardItem> primaryItems_;
    std::optional<int32_t> primaryOwner_;
    int64_t primaryChangeCount_ = 0;
    std::optional<std::string> copyAtNextWrite_;
    std::optional<PrimarySelection> selectAtNextPrimaryWrite_;
    std::vector<std::optional<int32_t>> primaryTakers_;
    bool failWrites_ = false;
    int pendingQueries_ = 0;
    int32_t lateReader_ = 0;
    std::vector<std::string> delivered_;
    int pendingReads_ = 0;
    std::string pendingText_;
    int changeCountReads_ = 0;
    std::vector<Operation> operations_;
};

}  // namespace platform::desktop
