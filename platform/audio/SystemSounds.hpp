#pragma once

#include <memory>
#include <string>

namespace platform::audio {

// A short desktop sound, loaded once and played as often as wanted.
class SystemSound {
public:
    virtual ~SystemSound() = default;

    // Stops it if it is playing.
    virtual void stop() = 0;
    // 0 (silent) to 1 (full).
    virtual void setVolume(float volume) = 0;
    // Starts it and returns at once.
    virtual void play() = 0;
};

// The desktop's named sounds. The names are the application's cue names
// ("Tink", "Pop", "Funk"); the backend maps each to a sound of the desktop's
// theme. Main thread only.
class SystemSounds {
public:
    virtual ~SystemSounds() = default;

    // The sound with this name; none when the desktop has no such sound.
    virtual std::shared_ptr<SystemSound> named(const std::string& name) = 0;
};

}  // namespace platform::audio
