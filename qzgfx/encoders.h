// Writers of the output formats; each writes into an AtomicFile.
#pragma once

#include <cstdint>

#include "fileio.h"
#include "image.h"

namespace qzgfx {

void writeBmp24(const Image &img, AtomicFile &out);
// An 8-bit palette bitmap; indices has rows of `stride` bytes, top-down, and
// palette holds `colors` entries of B, G, R, 0.
void writeBmp8(int width, int height, const uint8_t *indices, size_t stride,
               const uint8_t *palette, int colors, AtomicFile &out);
// Baseline JPEG, optimised Huffman tables, 4:2:0.
void writeJpeg(const Image &img, int quality, AtomicFile &out);
void writePng(const Image &img, AtomicFile &out);
void writePpm(const Image &img, AtomicFile &out);

}  // namespace qzgfx
