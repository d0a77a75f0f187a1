#include "decoder.h"

#include "errors.h"

namespace qzgfx {

const Decoder &decoderFor(Bytes data)
{
    // Each sniff looks at fixed signature bytes; no two signatures overlap.
    static const Decoder *const all[] = {
        &jpegDecoder(), &pngDecoder(), &bmpDecoder(), &gifDecoder(), &tiffDecoder(),
        &webpDecoder(), &heifDecoder(), &pnmDecoder(), &pcdDecoder(),
    };
    for (const Decoder *d : all)
        if (d->sniff(data))
            return *d;
    fail("unsupported format");
}

}  // namespace qzgfx
