/* graphics.h must compile as C: this file is that check, and reports the
 * record's layout as a C compiler sees it. */
#include <stddef.h>

#include "graphics.h"

size_t qzgfx_c_sizeof_imageinfo(void) { return sizeof(ImageInfo); }
size_t qzgfx_c_offsetof_readflags(void) { return offsetof(ImageInfo, ReadFlags); }
size_t qzgfx_c_offsetof_filesize(void) { return offsetof(ImageInfo, FileSize); }
TAnyToBmp qzgfx_c_anytobmps(void) { return &_anytobmps; }
