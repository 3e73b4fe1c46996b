#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/Workspace.hpp"

namespace platform::desktop {

// Applications, windows and screens for tests. Activation can take effect
// at once, after a number of frontmost checks, or never.
class FakeWorkspace final : public Workspace {
public:
    enum class Activation { immediate, afterChecks, refused };

    // ---- Test side ----
    void addApplication(RunningApplication app) {
        std::lock_guard lock(mutex_);
        apps_[app.processIdentifier] = std::move(app);
    }
    void removeApplication(int32_t pid) {
        std::lock_guard lock(mutex_);
        apps_.erase(pid);
        if (frontmost_ == pid) frontmost_.reset();
    }
    void setFrontmost(std::optional<int32_t> pid) {
        std::lock_guard lock(mutex_);
        frontmost_ = pid;
        pendingFront_.reset();
    }
    void setActivation(Activation activation, int checks = 0) {
        std::lock_guard lock(mutex_);
        activation_ = activation;
        activationChecks_ = checks;
    }
    void setWindows(std::vector<WindowInfo> windows) {
        std::lock_guard lock(mutex_);
        windows_ = std::move(windows);
    }
    void setScreens(std::vector<Rect> screens) {
        std::lock_guard lock(mutex_);
        screens_ = std::move(screens);
    }
    void setCurrentProcessId(int32_t pid) {
        std::lock_guard lock(mutex_);
        ownPid_ = pid;
    }
    void setOpensURLs(bool opens) {
        std::lock_guard lock(mutex_);
        opensURLs_ = opens;
    }
    std::vector<int32_t> activations() const {
        std::lock_guard lock(mutex_);
        return activations_;
    }
    std::vector<std::string> openedURLs() const {
        std::lock_guard lock(mutex_);
        return opened_;
    }
    int frontmostChecks() const {
        std::lock_guard lock(mutex_);
        return frontmostChecks_;
    }

    // ---- Workspace ----
    std::optional<RunningApplication> frontmostApplication() override {
        std::lock_guard lock(mutex_);
        const auto front = checkFront();
        if (front == apps_.end()) return std::nullopt;
        return front->second;
    }
    std::optional<int32_t> frontmostProcessId() override {
        std::lock_guard lock(mutex_);
        const auto front = checkFront();
        if (front == apps_.end()) return std::nullopt;
        return front->first;
    }
    std::optional<RunningApplication> runningApplication(int32_t pid) override {
        std::lock_guard lock(mutex_);
        auto it = apps_.find(pid);
        if (it == apps_.end()) return std::nullopt;
        return it->second;
    }
    bool activate(int32_t pid) override {
        std::lock_guard lock(mutex_);
        activations_.push_back(pid);
        if (!apps_.count(pid)) return false;
        switch (activation_) {
            case Activation::immediate:
                frontmost_ = pid;
                break;
            case Activation::afterChecks:
                pendingFront_ = pid;
                pendingChecks_ = activationChecks_;
                break;
            case Activation::refused:
                break;
        }
        return true;
    }
    std::vector<WindowInfo> windowList() override {
        std::lock_guard lock(mutex_);
        return windows_;
    }
    std::vector<Rect> screenFrames() override {
        std::lock_guard lock(mutex_);
        return screens_;
    }
    int32_t currentProcessId() override {
        std::lock_guard lock(mutex_);
        return ownPid_;
    }
    bool openURL(const std::string& url) override {
        std::lock_guard lock(mutex_);
        opened_.push_back(url);
        return opensURLs_;
    }

private:
    // One frontmost check, of either kind: a pending activation may take effect.
    std::map<int32_t, RunningApplication>::const_iterator checkFront() {
        ++frontmostChecks_;
        if (pendingFront_ && --pendingChecks_ <= 0) {
            frontmost_ = pendingFront_;
            pendingFront_.reset();
        }
        return frontmost_ ? apps_.find(*frontmost_) : apps_.end();
    }

    mutable std::mutex mutex_;
    std::map<int32_t, RunningApplication> apps_;
    std::optional<int32_t> frontmost_;
    std::optional<int32_t> pendingFront_;
    int pendingChecks_ = 0;
    Activation activation_ = Activation::immediate;
    int activationChecks_ = 0;
    std::vector<WindowInfo> windows_;
    std::vector<Rect> screens_{Rect{0, 0, 1920, 1080}};
    int32_t ownPid_ = 7;
    bool opensURLs_ = true;
    std::vector<int32_t> activations_;
    std::vector<std::string> opened_;
    int frontmostChecks_ = 0;
};

}  // namespace platform::desktop
