#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/Pasteboard.hpp"

namespace platform::desktop {

// An in-memory pasteboard for tests. It counts changes, logs every
// operation, and can play an application that answers a copy late: a text
// armed with copyOnChangeCountRead(n, text) lands on the n-th read of the
// change count after arming.
class FakePasteboard final : public Pasteboard {
public:
    enum class Operation { items, clear, writeItems, setString, string, changeCount, primary };

    // ---- Test side ----
    // Contents as another application would leave them (counts as a change).
    void setContents(std::vector<PasteboardItem> items) {
        std::lock_guard lock(mutex_);
        items_ = std::move(items);
        ++changeCount_;
    }
    std::vector<PasteboardItem> contents() const {
        std::lock_guard lock(mutex_);
        return items_;
    }
    void setPrimary(std::optional<PrimarySelection> selection) {
        std::lock_guard lock(mutex_);
        primary_ = std::move(selection);
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
        ++changeCount_;
    }
    void writeItems(const std::vector<PasteboardItem>& items) override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::writeItems);
        items_.insert(items_.end(), items.begin(), items.end());
        ++changeCount_;
    }
    void setString(const std::string& text) override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::setString);
        setStringUnlocked(text);
    }
    std::optional<std::string> string() override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::string);
        for (const auto& item : items_)
            for (const auto& [type, bytes] : item.representations)
                if (type == plainTextType) return bytes;
        return std::nullopt;
    }
    int64_t changeCount() override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::changeCount);
        ++changeCountReads_;
        if (pendingReads_ > 0 && --pendingReads_ == 0) setStringUnlocked(pendingText_);
        return changeCount_;
    }
    std::optional<PrimarySelection> primarySelection() override {
        std::lock_guard lock(mutex_);
        operations_.push_back(Operation::primary);
        return primary_;
    }

private:
    void setStringUnlocked(const std::string& text) {
        items_ = {PasteboardItem{{{std::string(plainTextType), text}}}};
        ++changeCount_;
    }

    mutable std::mutex mutex_;
    std::vector<PasteboardItem> items_;
    int64_t changeCount_ = 0;
    std::optional<PrimarySelection> primary_;
    int pendingReads_ = 0;
    std::string pendingText_;
    int changeCountReads_ = 0;
    std::vector<Operation> operations_;
};

}  // namespace platform::desktop
