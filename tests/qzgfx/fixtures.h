// Pictures made by the tests: a pattern, files written by each codec
// library, bitmaps built byte by byte, and comparisons that name the first
// wrong pixel.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <QImage>
#include <gtest/gtest.h>

#include "graphics.h"

namespace fixtures {

namespace fs = std::filesystem;

// A deterministic RGB picture with gradients and sharp edges.
QImage pattern(int width, int height);
// A picture of few colours (at most 16), for lossless palette checks.
QImage fewColours(int width, int height);

std::vector<uint8_t> readBytes(const fs::path &path);
void writeBytes(const fs::path &path, const std::vector<uint8_t> &bytes);

void saveQt(const QImage &img, const fs::path &path, const char *format, int quality = -1);
void saveTiff(const QImage &img, const fs::path &path);
void saveGif(const QImage &img, const fs::path &path);  // img of at most 256 colours
void saveWebp(const QImage &img, const fs::path &path, bool lossless, bool alpha = false);
// Returns false when libheif has no encoder for the format here.
bool saveHeif(const QImage &img, const fs::path &path, bool avif);
// A JPEG of img with an EXIF block carrying the orientation tag.
std::vector<uint8_t> jpegWithOrientation(const QImage &img, int orientation);

// A bitmap from its parts: the info header as given (any size), the palette
// or masks and the pixel data, with a correct file header in front.
std::vector<uint8_t> bmpFile(const std::vector<uint8_t> &infoHeader, const std::vector<uint8_t> &palette,
                             const std::vector<uint8_t> &pixels);
std::vector<uint8_t> infoHeader40(int32_t width, int32_t height, int bpp, uint32_t compression,
                                  uint32_t colorsUsed = 0);

QImage loadBmp(const fs::path &path);

// Compares pixel by pixel; fails naming the first pixel off by more than
// tolerance in any channel.
::testing::AssertionResult samePixels(const QImage &expected, const QImage &actual, int tolerance = 0);
// Mean absolute difference per channel, for lossy codecs.
double meanDifference(const QImage &a, const QImage &b);

}  // namespace fixtures
