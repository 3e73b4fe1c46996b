#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace DovuzudUza {

// Level readings of one buffer: relative energy, root mean square, largest
// and smallest magnitude.
struct AudioEnergyReading {
    float rel = 0;
    float avg = 0;
    float max = 0;
    float min = 0;
    bool operator==(const AudioEnergyReading&) const = default;
};

// Energy measures on 16 kHz mono samples, shared by capture and voice detection.
namespace AudioEnergy {

struct Energy {
    float avg = 0;
    float max = 0;
    float min = 0;
};

// Root mean square (0 for no samples).
float calculateAverageEnergy(std::span<const float> samples);
Energy calculateEnergy(std::span<const float> samples);
// Level in [0, 1] on a decibel scale between the reference (or -60 dBFS) and full scale.
float calculateRelativeEnergy(std::span<const float> samples, std::optional<float> reference);
// One flag per frame: the frame's energy is strictly above the threshold.
std::vector<bool> calculateVoiceActivityInChunks(std::span<const float> samples, int64_t chunkCount,
                                                 int64_t frameLengthSamples, int64_t frameOverlapSamples,
                                                 float energyThreshold);
// How many of the newest relative energies (one per 0.1 s) the voice check
// looks at for this much new audio.
int64_t recentBufferCount(float nextBufferInSeconds);
// Voice among the older of the newest relative energies (one per 0.1 s).
bool isVoiceDetected(std::span<const float> relativeEnergies, float nextBufferInSeconds, float silenceThreshold);

}  // namespace AudioEnergy
}  // namespace DovuzudUza
