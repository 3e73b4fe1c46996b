#include "platform/audio/AudioSystem.hpp"

#include <mutex>

namespace platform::audio {

namespace {
std::mutex systemMutex;
std::shared_ptr<AudioSystem> installedSystem;
}  // namespace

std::shared_ptr<AudioSystem> AudioSystem::current() {
    std::lock_guard lock(systemMutex);
    if (!installedSystem) installedSystem = makePulseAudioSystem();
    return installedSystem;
}

void AudioSystem::setCurrent(std::shared_ptr<AudioSystem> system) {
    std::lock_guard lock(systemMutex);
    installedSystem = std::move(system);
}

}  // namespace platform::audio
