// Writing bitmaps: a header, then the rows bottom-up straight from the
// picture's memory (one writev, no copy).
#include <cstring>
#include <memory>
#include <vector>

#include "encoders.h"
#include "errors.h"

namespace qzgfx {

namespace {

void put16(uint8_t *p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void put32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

void fillHeader(uint8_t *h, int width, int height, int bpp, size_t paletteBytes, size_t imageBytes, int colors)
{
    std::memset(h, 0, 54);
    const size_t offset = 54 + paletteBytes;
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, uint32_t(offset + imageBytes));
    put32(h + 10, uint32_t(offset));
    put32(h + 14, 40);
    put32(h + 18, uint32_t(width));
    put32(h + 22, uint32_t(height));  // positive: bottom-up, what every reader takes
    put16(h + 26, 1);
    put16(h + 28, uint16_t(bpp));
    put32(h + 34, uint32_t(imageBytes));
    put32(h + 46, uint32_t(colors));
}

void writeRows(AtomicFile &out, const uint8_t *header, size_t headerBytes, const uint8_t *rows,
               size_t stride, int height)
{
    std::vector<iovec> iov(size_t(height) + 1);
    iov[0] = {const_cast<uint8_t *>(header), headerBytes};
    for (int y = 0; y < height; ++y)
        iov[size_t(y) + 1] = {const_cast<uint8_t *>(rows + size_t(height - 1 - y) * stride), stride};
    out.writev(iov.data(), int(iov.size()));
}

}  // namespace

void writeBmp24(const Image &img, AtomicFile &out)
{
    uint8_t header[54];
    fillHeader(header, img.width, img.height, 24, 0, img.bytes(), 0);
    writeRows(out, header, sizeof header, img.pixels.get(), img.stride, img.height);
}

void writeBmp8(int width, int height, const uint8_t *indices, size_t stride, const uint8_t *palette,
               int colors, AtomicFile &out)
{
    const size_t paletteBytes = size_t(colors) * 4;
    std::vector<uint8_t> header(54 + paletteBytes);
    fillHeader(header.data(), width, height, 8, paletteBytes, stride * size_t(height), colors);
    std::memcpy(header.data() + 54, palette, paletteBytes);
    writeRows(out, header.data(), header.size(), indices, stride, height);
}

}  // namespace qzgfx
