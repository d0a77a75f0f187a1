// PNG through libpng: any bit depth, palette and grey expanded, 16 bits
// reduced, alpha composited over white; written with the simplified API.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <png.h>

#include "decoder.h"
#include "encoders.h"
#include "errors.h"
#include "picture_limits.h"

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

// The classic libpng interface: the simplified one takes 16-bit samples for
// linear light and brightens them. Errors longjmp back to decode(); all the
// state that changes meanwhile lives in this heap object.
struct PngReader {
    Bytes data;
    size_t pos = 0;
    png_structp png = nullptr;
    png_infop info = nullptr;
    jmp_buf jump;
    char message[256] = "corrupt PNG data";
    Image image;
    PixelBuffer bgra;
    std::unique_ptr<png_bytep[]> rows;

    explicit PngReader(Bytes d) : data(d) {}
    ~PngReader()
    {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }

    static void onError(png_structp png, png_const_charp text)
    {
        auto *r = static_cast<PngReader *>(png_get_error_ptr(png));
        if (std::strcmp(text, "truncated PNG data") == 0)
            std::snprintf(r->message, sizeof r->message, "%s", text);
        else
            std::snprintf(r->message, sizeof r->message, "PNG: %s", text);
        longjmp(r->jump, 1);
    }
    static void onWarning(png_structp, png_const_charp) {}
    static void onRead(png_structp png, png_bytep out, png_size_t n)
    {
        auto *r = static_cast<PngReader *>(png_get_io_ptr(png));
        if (n > r->data.size - r->pos)
            png_error(png, "truncated PNG data");
        std::memcpy(out, r->data.data + r->pos, n);
        r->pos += n;
    }

    void read()
    {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, onError, onWarning);
        if (!png)
            fail("out of memory");
        info = png_create_info_struct(png);
        if (!info)
            fail("out of memory");
        png_set_read_fn(png, this, onRead);
        png_read_info(png, info);
        const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
        checkLimits(w, h);
        const int type = png_get_color_type(png, info);
        const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
        png_set_expand(png);
        png_set_scale_16(png);
        if (!(type & PNG_COLOR_MASK_COLOR))
            png_set_gray_to_rgb(png);
        png_set_bgr(png);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        const size_t channels = alpha ? 4 : 3;
        if (png_get_rowbytes(png, info) != size_t(w) * channels)
            fail("unsupported PNG layout");
        image = Image::allocate(int(w), int(h));
        rows.reset(new png_bytep[h]);
        if (alpha) {
            bgra = allocatePixels(size_t(w) * 4 * h);
            for (png_uint_32 y = 0; y < h; ++y)
                rows[y] = bgra.get() + size_t(w) * 4 * y;
        } else {
            for (png_uint_32 y = 0; y < h; ++y)
                rows[y] = image.row(int(y));
        }
        png_read_image(png, rows.get());
        // Viewers composite the stored sRGB values over the background; so do we.
        if (alpha)
            for (png_uint_32 y = 0; y < h; ++y)
                bgraOverWhite(rows[y], image.row(int(y)), int(w));
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
        auto r = std::make_unique<PngReader>(data);
        if (setjmp(r->jump))
            fail(r->message);
        r->read();
        return std::move(r->image);
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
