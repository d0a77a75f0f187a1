// Our own bitmap reader, fed directly: headers of every size, palettes,
// bit fields, RLE streams.
#include <cstddef>
#include <cstdint>

#include "decoder.h"
#include "errors.h"
#include "picture_limits.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace qzgfx;
    const Bytes bytes{data, size};
    try {
        const Decoder &bmp = bmpDecoder();
        Header header = bmp.readHeader(bytes);
        checkLimits(header.width, header.height);
        Image img = bmp.decode(bytes, header, DecodeOptions{});
        if (img.width != header.width || img.height != header.height)
            __builtin_trap();
    } catch (const std::exception &) {
    }
    return 0;
}
