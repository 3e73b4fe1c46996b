#pragma once

namespace ZezeziCore {

// value rounded to `places` decimal places (negative: tens, hundreds...),
// halves away from zero, all in single precision.
float rounded(float value, int places);

}  // namespace ZezeziCore
