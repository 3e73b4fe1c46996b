#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/audio/SystemSounds.hpp"

namespace Parlox {

// The three short sounds of a dictation. Main thread only.
class Sounds {
public:
    enum class Cue { start, finish, failure };

    explicit Sounds(std::shared_ptr<platform::audio::SystemSounds> system);

    // Plays the cue's sound, starting it over if it still sounds, unless the
    // user turned sounds off or the desktop has no such sound. Fire and forget.
    void play(Cue cue);

    static std::string soundName(Cue cue);  // "Tink", "Pop", "Funk"
    static float volume(Cue cue);           // 0.35, 0.35, 0.5

private:
    std::shared_ptr<platform::audio::SystemSounds> system_;
    std::map<std::string, std::shared_ptr<platform::audio::SystemSound>> cache_;
};

}  // namespace Parlox
