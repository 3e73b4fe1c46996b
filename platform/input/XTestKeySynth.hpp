#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/input/KeySynth.hpp"

namespace platform::input {

class XTestInput;

// Synthetic keys through XTest: the Control key stands where the other
// desktop uses Command. Without an X display (or under Wayland) nothing is
// posted and the first attempt is logged.
class XTestKeySynth final : public KeySynth {
public:
    XTestKeySynth();
    ~XTestKeySynth() override;

    bool copy(KeyTarget target) override;
    void paste(KeyTarget target) override;
    bool undo(KeyTarget target) override;
    void deleteBackward() override;
    void nudgePointer() override;

private:
    // The connection, opened on first use; none when there is no display.
    XTestInput* input();
    bool shortcut(const std::vector<std::string>& modifiers, const char* key);

    std::mutex mutex_;
    std::unique_ptr<XTestInput> input_;
    bool failed_ = false;
};

}  // namespace platform::input
