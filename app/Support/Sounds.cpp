#include "app/Support/Sounds.hpp"

#include "app/Support/SettingsStore.hpp"

namespace Parlox {

Sounds::Sounds(std::shared_ptr<platform::audio::SystemSounds> system) : system_(std::move(system)) {}

std::string Sounds::soundName(Cue cue) {
    switch (cue) {
        case Cue::start:
            return "Tink";
        case Cue::finish:
            return "Pop";
        case Cue::failure:
            return "Funk";
    }
    return {};
}

float Sounds::volume(Cue cue) { return cue == Cue::failure ? 0.5f : 0.35f; }

void Sounds::play(Cue cue) {
    if (!SettingsStore::soundsEnabled() || !system_) return;
    const std::string name = soundName(cue);
    auto cached = cache_.find(name);
    std::shared_ptr<platform::audio::SystemSound> sound =
        cached != cache_.end() ? cached->second : system_->named(name);
    if (!sound) return;
    cache_[name] = sound;
    sound->stop();
    sound->setVolume(volume(cue));
    sound->play();
}

}  // namespace Parlox
