#include "picture_limits.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "errors.h"

namespace qzgfx {

int64_t maxPixels()
{
    // Read on every call: cheap, and tests change it while the library is loaded.
    const char *env = std::getenv("QZGFX_MAX_PIXELS");
    if (env && *env) {
        char *end = nullptr;
        errno = 0;
        long long v = std::strtoll(env, &end, 10);
        if (errno == 0 && end && *end == '\0' && v > 0)
            return v;
    }
    return kDefaultMaxPixels;
}

void checkLimits(int64_t width, int64_t height)
{
    if (width <= 0 || height <= 0)
        fail("invalid picture size: " + std::to_string(width) + " x " + std::to_string(height));
    // Each side is at most 2^32 here (readers hand over 32-bit values), so
    // the product fits in 64 bits.
    if (width > kMaxSide || height > kMaxSide || width * height > maxPixels())
        fail("picture too large: " + std::to_string(width) + " x " + std::to_string(height));
}

}  // namespace qzgfx
