#include "decoder.h"

#include "error.h"

namespace qzgfx {

const Decoder &decoderFor(Bytes data)
{
    static const Decoder *const all[] = {
        &jpegDecoder(), &pngDecoder(), &bmpDecoder(), &pnmDecoder(), &pcdDecoder(),
    };
    for (const Decoder *d : all)
        if (d->sniff(data))
            return *d;
    fail("unsupported format");
}

}  // namespace qzgfx
