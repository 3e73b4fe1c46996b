#pragma once

#include <QImage>

namespace Parlox {

// A soft Gaussian-like blur for shadows and glows (three box passes each way).
struct Blur {
    // `radius` as designs give it; the spread is about half of it either side.
    static void apply(QImage& image, double radius);
};

}  // namespace Parlox
