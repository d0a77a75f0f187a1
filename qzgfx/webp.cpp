// WebP through libwebp: still pictures, alpha composited over white.
#include <cstring>
#include <memory>
#include <string>

#include <webp/decode.h>

#include "decoder.h"
#include "errors.h"
#include "picture_limits.h"

namespace qzgfx {

namespace {

class WebpDecoder final : public Decoder {
public:
    const char *name() const override { return "WebP"; }

    bool sniff(Bytes data) const override
    {
        return data.size >= 12 && std::memcmp(data.data, "RIFF", 4) == 0 && std::memcmp(data.data + 8, "WEBP", 4) == 0;
    }

    Header readHeader(Bytes data) const override
    {
        WebPBitstreamFeatures f;
        VP8StatusCode status = WebPGetFeatures(data.data, data.size, &f);
        if (status == VP8_STATUS_NOT_ENOUGH_DATA)
            fail("truncated WebP data");
        if (status != VP8_STATUS_OK)
            fail("corrupt WebP data");
        if (f.has_animation)
            fail("unsupported format: animated WebP");
        Header h;
        h.format = 6;
        h.width = f.width;
        h.height = f.height;
        h.bitsPerPixel = f.has_alpha ? 32 : 24;
        return h;
    }

    Image decode(Bytes data, const Header &header, const DecodeOptions &) const override
    {
        checkLimits(header.width, header.height);
        Image img = Image::allocate(header.width, header.height);
        if (header.bitsPerPixel == 24) {
            if (!WebPDecodeBGRInto(data.data, data.size, img.pixels.get(), img.bytes(), int(img.stride)))
                fail("corrupt or truncated WebP data");
            return img;
        }
        const size_t stride = size_t(img.width) * 4;
        PixelBuffer bgra = allocatePixels(stride * size_t(img.height));
        if (!WebPDecodeBGRAInto(data.data, data.size, bgra.get(), stride * size_t(img.height), int(stride)))
            fail("corrupt or truncated WebP data");
        for (int y = 0; y < img.height; ++y)
            bgraOverWhite(bgra.get() + stride * size_t(y), img.row(y), img.width);
        return img;
    }
};

}  // namespace

const Decoder &webpDecoder()
{
    static const WebpDecoder decoder;
    return decoder;
}

}  // namespace qzgfx
