// The read path as the entry points run it: sniff, header, limits, decode,
// for every format, at every JPEG scale.
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
        const Decoder &decoder = decoderFor(bytes);
        Header header = decoder.readHeader(bytes);
        checkLimits(header.width, header.height);
        DecodeOptions options;
        options.jpegScale = int(size % 4);
        Image img = decoder.decode(bytes, header, options);
        if (img.width <= 0 || img.height <= 0 || !img.pixels)
            __builtin_trap();
    } catch (const std::exception &) {
        // Refusing the input is the expected outcome for most of them.
    }
    return 0;
}
