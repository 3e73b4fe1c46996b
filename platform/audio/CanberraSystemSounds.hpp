#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio/SystemSounds.hpp"

namespace platform::audio {

// The desktop's event sounds through libcanberra (played by the sound
// server), from the freedesktop sound theme: "Tink" is the theme's
// "audio-volume-change", "Pop" its "complete", "Funk" its "dialog-error".
class CanberraSystemSounds final : public SystemSounds {
public:
    // `dataDirs`: where sound themes are looked for (default: $XDG_DATA_DIRS).
    explicit CanberraSystemSounds(std::vector<std::filesystem::path> dataDirs = {});
    ~CanberraSystemSounds() override;

    // None for a name without a theme sound, or when the theme's file is missing.
    std::shared_ptr<SystemSound> named(const std::string& name) override;

    // The theme's event id for an application cue name.
    static std::optional<std::string> eventId(const std::string& name);
    // The theme file of an event id; none when not installed.
    std::optional<std::filesystem::path> themeFile(const std::string& eventId) const;

    // The sound server connection the sounds share.
    struct Context;

private:
    std::shared_ptr<Context> context_;
    std::vector<std::filesystem::path> dataDirs_;
};

}  // namespace platform::audio
