// Palette pictures for the 256-colour and greyscale bitmaps.
#pragma once

#include <cstdint>
#include <memory>

#include "image.h"

namespace qzgfx {

struct Indexed {
    int width = 0, height = 0;
    size_t stride = 0;
    PixelBuffer indices;
    uint8_t palette[256 * 4] = {};  // B, G, R, 0
    int colors = 0;
};

// At most 256 colours chosen by libimagequant, dithered.
Indexed quantize256(const Image &img);
// 256 grey levels (Rec. 601 luma).
Indexed greyscale(const Image &img);

}  // namespace qzgfx
