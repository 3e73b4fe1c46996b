#include "ZezeziCore/ModelState.hpp"

namespace ZezeziCore {

std::string description(ModelState state) {
    switch (state) {
        case ModelState::unloading: return "Unloading";
        case ModelState::unloaded: return "Unloaded";
        case ModelState::loading: return "Loading";
        case ModelState::loaded: return "Loaded";
        case ModelState::prewarming: return "Specializing";
        case ModelState::prewarmed: return "Specialized";
        case ModelState::downloading: return "Downloading";
        case ModelState::downloaded: return "Downloaded";
    }
    return "Unloaded";
}

bool isBusy(ModelState state) {
    return state == ModelState::unloading || state == ModelState::loading || state == ModelState::prewarming ||
           state == ModelState::downloading;
}

std::string description(platform::ml::ComputeUnits units) {
    switch (static_cast<int>(units)) {
        case 0: return "cpuOnly";
        case 1: return "cpuAndGPU";
        case 2: return "all";
        case 3: return "cpuAndNeuralEngine";
        default: return "unknown";
    }
}

std::string displayName(platform::ml::ComputeUnits units) {
    switch (static_cast<int>(units)) {
        case 0: return "CPU";
        case 1: return "GPU";
        case 2: return "All";
        case 3: return "Neural Engine";
        default: return "Unknown";
    }
}

}  // namespace ZezeziCore
