// Size limits applied to every picture from its header, before the pixels
// are allocated.
#pragma once

#include <cstdint>

namespace qzgfx {

constexpr int64_t kMaxSide = 65535;
// 2^28 pixels: 768 MB as BGR, more than any camera makes today and still
// allocatable on an ordinary desktop.
constexpr int64_t kDefaultMaxPixels = int64_t(1) << 28;

// The area limit, QZGFX_MAX_PIXELS when set to a positive number.
int64_t maxPixels();

// Throws "picture too large: W x H" (or "invalid picture size") when the
// picture may not be read.
void checkLimits(int64_t width, int64_t height);

}  // namespace qzgfx
