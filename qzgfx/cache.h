// The pixels of the bitmaps this library last wrote or read, keyed by the
// file's identity. The program writes its working bitmap once and then
// encodes it nine times; with this it is read from disk at most once.
#pragma once

#include <memory>

#include "fileio.h"
#include "image.h"

namespace qzgfx {

std::shared_ptr<const Image> cachedPixels(const FileIdentity &id);
void rememberPixels(const FileIdentity &id, std::shared_ptr<const Image> image);

}  // namespace qzgfx
