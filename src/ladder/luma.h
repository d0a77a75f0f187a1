// Luma of the pictures the ladder compares: the working bitmap the library
// wrote, and each rung's JPEG.
#pragma once

#include <string>

#include "ssim.h"

namespace ladder {

// Luma of a BMP file (24 or 32 bits, or 8 with a palette), with the weights
// and rounding a JPEG encoder uses for Y, so that it is on the grid of the
// rungs' luma. Throws std::runtime_error with the reason.
LumaPlane readBitmapLuma(const std::string &path);

// The Y plane of a JPEG, decoded without its colour planes. Throws
// std::runtime_error with the reason.
LumaPlane decodeJpegLuma(const std::string &path);

}  // namespace ladder
