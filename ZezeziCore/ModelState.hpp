#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "platform/ml/ComputeUnits.hpp"

namespace ZezeziCore {

// Where a set of models stands in its life.
enum class ModelState { unloading, unloaded, loading, loaded, prewarming, prewarmed, downloading, downloaded };

// "Unloading", "Unloaded", "Loading", "Loaded", "Specializing", "Specialized",
// "Downloading", "Downloaded".
std::string description(ModelState state);
inline std::string to_string(ModelState state) { return description(state); }
inline std::ostream& operator<<(std::ostream& out, ModelState state) { return out << description(state); }
// True in the four in-progress states.
bool isBusy(ModelState state);

// Texts of compute-unit choices; a value outside 0..3 reads "unknown"/"Unknown".
std::string description(platform::ml::ComputeUnits units);
std::string displayName(platform::ml::ComputeUnits units);

}  // namespace ZezeziCore
