#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/Overlay/OverlayModel.hpp"

namespace Parlox {

// Still images of the recording indicator: each sample state in the light
// and the dark scheme, at scale 2, over an opaque grey, as
// "<sample>-claro.png" and "<sample>-oscuro.png".
struct OverlaySnapshots {
    struct Sample {
        std::string name;
        OverlayModel::State state;
        float level = 0;
    };
    static const std::vector<Sample>& samples();

    // Creates the folder and writes every image, printing each file name.
    // Throws platform::FileError when the folder or a file cannot be written.
    static void render(const std::filesystem::path& folder, const std::function<void(const std::string&)>& print);
};

}  // namespace Parlox
