#include "app/Overlay/Blur.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace Parlox {
namespace {

// Widths of three box filters whose sequence approximates a Gaussian of sigma.
std::array<int, 3> boxWidths(double sigma) {
    const double ideal = std::sqrt(12 * sigma * sigma / 3 + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0) --lower;
    const int upper = lower + 2;
    const double m = std::round((12 * sigma * sigma - 3.0 * lower * lower - 12.0 * lower - 9) / (-4.0 * lower - 4));
    std::array<int, 3> widths{};
    for (int i = 0; i < 3; ++i) widths[size_t(i)] = i < m ? lower : upper;
    return widths;
}

// One box pass along a line of `count` pixels, `stride` pixels apart.
void boxLine(uint32_t* line, int count, int stride, int half, std::vector<uint32_t>& scratch) {
    scratch.resize(size_t(count));
    for (int i = 0; i < count; ++i) scratch[size_t(i)] = line[ptrdiff_t(i) * stride];
    const int width = 2 * half + 1;
    int sums[4] = {0, 0, 0, 0};
    auto add = [&](int index, int sign) {
        if (index < 0 || index >= count) return;
        const uint32_t px = scratch[size_t(index)];
        for (int c = 0; c < 4; ++c) sums[c] += sign * int((px >> (8 * c)) & 0xFF);
    };
    for (int i = -half; i <= half; ++i) add(i, 1);
    for (int i = 0; i < count; ++i) {
        uint32_t out = 0;
        for (int c = 0; c < 4; ++c) out |= uint32_t(std::clamp((sums[c] + width / 2) / width, 0, 255)) << (8 * c);
        line[ptrdiff_t(i) * stride] = out;
        add(i - half, -1);
        add(i + half + 1, 1);
    }
}

}  // namespace

void Blur::apply(QImage& image, double radius) {
    const double sigma = radius / 2;
    if (sigma < 0.2 || image.isNull()) return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const double scale = image.devicePixelRatio();
    const int w = image.width();
    const int h = image.height();
    const int stride = int(image.bytesPerLine() / 4);
    auto* pixels = reinterpret_cast<uint32_t*>(image.bits());
    std::vector<uint32_t> scratch;
    for (int width : boxWidths(sigma * scale)) {
        const int half = (width - 1) / 2;
        if (half <= 0) continue;
        for (int y = 0; y < h; ++y) boxLine(pixels + ptrdiff_t(y) * stride, w, 1, half, scratch);
        for (int x = 0; x < w; ++x) boxLine(pixels + x, h, stride, half, scratch);
    }
}

}  // namespace Parlox
