// Scores of a picture's luma against the source's: SSIM (Wang, Bovik,
// Sheikh and Simoncelli 2004: Gaussian window 11 x 11, sigma 1.5, K1 0.01,
// K2 0.03, mean over the window positions that lie wholly inside the
// picture, at full resolution) and PSNR.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace ladder {

// Luma 0..255 as floats, rows top-down with no padding.
struct LumaPlane {
    int width = 0;
    int height = 0;
    std::vector<float> pixels;

    const float *row(int y) const { return pixels.data() + size_t(y) * size_t(width); }
    float *row(int y) { return pixels.data() + size_t(y) * size_t(width); }
};

// Runs body(i) for i in [0, count), in any order and on any threads, and
// returns when all are done. Empty: one after the other on the caller.
using ParallelFor = std::function<void(int count, const std::function<void(int)> &body)>;

// NaN when the planes differ in size or are smaller than the window. The
// result does not depend on how the work was split over threads.
double ssim(const LumaPlane &a, const LumaPlane &b, const ParallelFor &parallel = {});

// 10 log10(255^2 / MSE) over all pixels; +infinity for equal planes, NaN
// when the sizes differ or the planes are empty.
double psnr(const LumaPlane &a, const LumaPlane &b);

}  // namespace ladder
