// PNG through libpng's simplified API: any bit depth, palette and grey
// expanded, 16 bits reduced, alpha composited over white.
#include <cstring>
#include <memory>
#include <string>

#include <png.h>

#include "decoder.h"
#include "encoders.h"
#include "error.h"
#include "limits.h"

namespace qzgfx {

namespace {

struct PngImage {
    png_image image;
    PngImage()
    {
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
    }
    ~PngImage() { png_image_free(&image); }
    [[noreturn]] void raise() const
    {
        const char *m = image.message;
        if (std::strstr(m, "EOF") || std::strstr(m, "Not enough") || std::strstr(m, "Read Error"))
            fail("truncated PNG data");
        fail(std::string("PNG: ") + m);
    }
};

class PngDecoder final : public Decoder {
public:
    const char *name() const override { return "PNG"; }

    bool sniff(Bytes data) const override
    {
        static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        return data.size >= 8 && std::memcmp(data.data, sig, 8) == 0;
    }

    Header readHeader(Bytes data) const override
    {
        // IHDR is the first chunk: signature, length, "IHDR", width, height,
        // bit depth, colour type.
        if (data.size < 33 || std::memcmp(data.data + 12, "IHDR", 4) != 0)
            fail("corrupt PNG header");
        Header h;
        h.format = 3;
        uint32_t w = be32(data.data + 16), hh = be32(data.data + 20);
        if (w > 0x7FFFFFFF || hh > 0x7FFFFFFF)
            fail("corrupt PNG header");
        h.width = int(w);
        h.height = int(hh);
        int depth = data.data[24], type = data.data[25];
        static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
        if (type > 6 || channels[type] == 0)
            fail("corrupt PNG header");
        h.bitsPerPixel = depth * channels[type];
        return h;
    }

    Image decode(Bytes data, const Header &, const DecodeOptions &) const override
    {
        PngImage p;
        if (!png_image_begin_read_from_memory(&p.image, data.data, data.size))
            p.raise();
        checkLimits(p.image.width, p.image.height);
        p.image.format = PNG_FORMAT_BGR;
        Image img = Image::allocate(int(p.image.width), int(p.image.height));
        const png_color white = {255, 255, 255};
        if (!png_image_finish_read(&p.image, &white, img.pixels.get(), png_int_32(img.stride), nullptr))
            p.raise();
        return img;
    }
};

}  // namespace

const Decoder &pngDecoder()
{
    static const PngDecoder decoder;
    return decoder;
}

void writePng(const Image &img, AtomicFile &out)
{
    PngImage p;
    p.image.width = png_uint_32(img.width);
    p.image.height = png_uint_32(img.height);
    p.image.format = PNG_FORMAT_BGR;
    // Room for the rows stored uncompressed plus zlib's framing; libpng says
    // when that is not enough and how much it needs.
    png_alloc_size_t size = img.bytes() + size_t(img.height) + (img.bytes() >> 10) + 4096;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[size]);
    const png_alloc_size_t guess = size;
    if (!png_image_write_to_memory(&p.image, buffer.get(), &size, 0, img.pixels.get(),
                                   png_int_32(img.stride), nullptr)) {
        if (size <= guess)
            p.raise();
        buffer.reset(new uint8_t[size]);
        if (!png_image_write_to_memory(&p.image, buffer.get(), &size, 0, img.pixels.get(),
                                       png_int_32(img.stride), nullptr))
            p.raise();
    }
    out.write(buffer.get(), size);
}

}  // namespace qzgfx
