#include "ZezeziCore/External/Hub/Extensions/NumberExtensions.hpp"

#include <cmath>

namespace ZezeziCore {

float rounded(float value, int places) {
    float factor = std::pow(10.0f, static_cast<float>(places));
    return std::round(value * factor) / factor;
}

}  // namespace ZezeziCore
