#include "image.h"

#include <sys/mman.h>

#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "errors.h"
#include "picture_limits.h"

namespace qzgfx {

#if defined(__SANITIZE_ADDRESS__)
#define QZGFX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QZGFX_ASAN 1
#endif
#endif

namespace {

// Large buffers freed lately, kept for the next call: the program reads a
// picture, then writes it nine times, then reads the next, so the same sizes
// come back again and again and a reused buffer has no page faults left.
// Two are kept: a call needs at most a file buffer and a picture at once.
constexpr size_t kHuge = size_t(2) << 20;
constexpr int kPooled = 2;

struct Mapping {
    void *base = nullptr;
    size_t length = 0;
};

std::mutex poolMutex;
Mapping pool[kPooled];

uint8_t *alignedStart(void *base)
{
    return reinterpret_cast<uint8_t *>((reinterpret_cast<uintptr_t>(base) + kHuge - 1) & ~(kHuge - 1));
}

// Usable bytes of a mapping made for allocatePixels.
size_t capacity(const Mapping &m)
{
    return m.length - size_t(alignedStart(m.base) - static_cast<uint8_t *>(m.base));
}

}  // namespace

void PixelFree::operator()(uint8_t *p) const noexcept
{
    if (!base) {
        delete[] p;
        return;
    }
    Mapping giving{base, length};
    {
        std::lock_guard<std::mutex> lock(poolMutex);
        // Keep the larger ones: a small buffer can be had cheaply again.
        for (Mapping &slot : pool) {
            if (!slot.base || slot.length < giving.length)
                std::swap(slot, giving);
        }
    }
    if (giving.base)
        munmap(giving.base, giving.length);
}

PixelBuffer allocatePixels(size_t bytes)
{
#ifndef QZGFX_ASAN  // AddressSanitizer guards only what it allocates itself
    if (bytes >= kHuge / 2) {
        {
            // A pooled buffer that fits without wasting more than half of it.
            std::lock_guard<std::mutex> lock(poolMutex);
            for (Mapping &slot : pool) {
                if (slot.base && capacity(slot) >= bytes && capacity(slot) / 2 <= bytes + kHuge) {
                    Mapping m = slot;
                    slot = {};
                    return PixelBuffer(alignedStart(m.base), PixelFree{m.base, m.length});
                }
            }
        }
        const size_t length = bytes + kHuge;
        void *base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            throw std::bad_alloc();
        madvise(alignedStart(base), bytes, MADV_HUGEPAGE);  // a hint: where refused, ordinary pages
        return PixelBuffer(alignedStart(base), PixelFree{base, length});
    }
#endif
    return PixelBuffer(new uint8_t[bytes > 0 ? bytes : 1]);
}

Image Image::allocate(int width, int height)
{
    checkLimits(width, height);
    Image img;
    img.width = width;
    img.height = height;
    img.stride = bmpStride(width, 3);
    img.pixels = allocatePixels(img.stride * size_t(height));
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
