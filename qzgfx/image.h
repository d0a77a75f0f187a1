// The library's in-memory picture: 8-bit BGR, top-down, rows padded to four
// bytes. BGR and the padding are the order and row layout of a 24-bit BMP, so
// writing a bitmap is a header plus the rows, and libjpeg-turbo reads and
// writes BGR directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qzgfx {

// Frees what allocatePixels gave.
struct PixelFree {
    void *base = nullptr;  // the mapping, when the buffer was mapped
    size_t length = 0;
    void operator()(uint8_t *p) const noexcept;
};
using PixelBuffer = std::unique_ptr<uint8_t[], PixelFree>;

// An uninitialised buffer for pixels or file contents. Large ones are mapped
// on their own with transparent huge pages asked for: a 24 MP picture in 4 KB
// pages takes 18,000 page faults on first touch, which on virtual machines
// costs more than decoding it.
PixelBuffer allocatePixels(size_t bytes);

struct Image {
    int width = 0;
    int height = 0;
    size_t stride = 0;  // bytes per row, a multiple of 4
    PixelBuffer pixels;

    // Callers check the limits first; the buffer is left uninitialised so a
    // picture that fails halfway has not paid for zeroing it.
    static Image allocate(int width, int height);

    uint8_t *row(int y) { return pixels.get() + size_t(y) * stride; }
    const uint8_t *row(int y) const { return pixels.get() + size_t(y) * stride; }
    size_t bytes() const { return stride * size_t(height); }
    bool empty() const { return !pixels; }
};

inline size_t bmpStride(int width, int bytesPerPixel)
{
    return (size_t(width) * size_t(bytesPerPixel) + 3) & ~size_t(3);
}

// What a reader learns from the header alone.
struct Header {
    int format = 0;
    int width = 0;        // as stored, before scaling and rotation
    int height = 0;
    int bitsPerPixel = 0;
    int xdpi = 0;
    int ydpi = 0;
    int orientation = 0;  // EXIF orientation 1-8, 0 if none
};

// Rotates or mirrors a decoded picture so that it stands upright.
Image applyOrientation(Image &&src, int orientation);

// Composites a straight-alpha BGRA row over white into a BGR row.
void bgraOverWhite(const uint8_t *bgra, uint8_t *bgr, int width);

}  // namespace qzgfx
