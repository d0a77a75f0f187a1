#include "image.h"

#include <cstring>

#include "errors.h"
#include "picture_limits.h"

namespace qzgfx {

Image Image::allocate(int width, int height)
{
    checkLimits(width, height);
    Image img;
    img.width = width;
    img.height = height;
    img.stride = bmpStride(width, 3);
    img.pixels.reset(new uint8_t[img.stride * size_t(height)]);
    // The row padding is written to files as is; keep it deterministic.
    if (img.stride != size_t(width) * 3)
        for (int y = 0; y < height; ++y)
            std::memset(img.row(y) + size_t(width) * 3, 0, img.stride - size_t(width) * 3);
    return img;
}

void bgraOverWhite(const uint8_t *bgra, uint8_t *bgr, int width)
{
    for (int x = 0; x < width; ++x, bgra += 4, bgr += 3) {
        unsigned a = bgra[3];
        if (a == 255) {
            bgr[0] = bgra[0];
            bgr[1] = bgra[1];
            bgr[2] = bgra[2];
        } else {
            unsigned w = 255 - a;
            for (int c = 0; c < 3; ++c)
                bgr[c] = uint8_t((bgra[c] * a + 255 * w + 127) / 255);
        }
    }
}

Image applyOrientation(Image &&src, int orientation)
{
    if (orientation < 2 || orientation > 8)
        return std::move(src);
    // Orientations 5-8 swap the sides.
    const bool swap = orientation >= 5;
    const int w = src.width, h = src.height;
    Image dst = swap ? Image::allocate(h, w) : Image::allocate(w, h);
    for (int y = 0; y < h; ++y) {
        const uint8_t *s = src.row(y);
        for (int x = 0; x < w; ++x, s += 3) {
            int dx, dy;
            switch (orientation) {
            case 2: dx = w - 1 - x; dy = y; break;          // mirrored
            case 3: dx = w - 1 - x; dy = h - 1 - y; break;  // upside down
            case 4: dx = x; dy = h - 1 - y; break;          // mirrored vertically
            case 5: dx = y; dy = x; break;                  // transposed
            case 6: dx = h - 1 - y; dy = x; break;          // needs 90 clockwise
            case 7: dx = h - 1 - y; dy = w - 1 - x; break;  // transversed
            default: dx = y; dy = w - 1 - x; break;         // 8: needs 90 counter-clockwise
            }
            uint8_t *d = dst.row(dy) + size_t(dx) * 3;
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
    return dst;
}

}  // namespace qzgfx
