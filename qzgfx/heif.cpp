// HEIC and AVIF through libheif: the primary picture, with the file's own
// rotation and mirroring applied, alpha composited over white.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include <libheif/heif.h>

#include "decoder.h"
#include "errors.h"
#include "picture_limits.h"

namespace qzgfx {

namespace {

void initOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

bool isAvif(Bytes data)
{
    heif_brand b = heif_main_brand(data.data, int(std::min<size_t>(data.size, 1 << 20)));
    return b == heif_avif || b == heif_avis;
}

struct Heif {
    heif_context *ctx = nullptr;
    heif_image_handle *handle = nullptr;
    heif_image *image = nullptr;
    heif_decoding_options *options = nullptr;

    // Opening is not done in a constructor: a throw there would skip the
    // destructor and leak the context.
    void open(Bytes data)
    {
        initOnce();
        ctx = heif_context_alloc();
        if (!ctx)
            fail("out of memory");
        // libheif takes the limit as a side and allows its square as the area.
        const int64_t side = std::min<int64_t>(kMaxSide, int64_t(std::ceil(std::sqrt(double(maxPixels())))));
        heif_context_set_maximum_image_size_limit(ctx, int(side));
        check(heif_context_read_from_memory_without_copy(ctx, data.data, data.size, nullptr));
        check(heif_context_get_primary_image_handle(ctx, &handle));
    }
    ~Heif()
    {
        if (options)
            heif_decoding_options_free(options);
        if (image)
            heif_image_release(image);
        if (handle)
            heif_image_handle_release(handle);
        if (ctx)
            heif_context_free(ctx);
    }
    static void check(heif_error e)
    {
        if (e.code == heif_error_Ok)
            return;
        if (e.code == heif_error_Unsupported_feature || e.code == heif_error_Unsupported_filetype)
            fail(std::string("unsupported format: ") + (e.message ? e.message : "HEIF"));
        fail(std::string("HEIF: ") + (e.message ? e.message : "corrupt data"));
    }
};

class HeifDecoder final : public Decoder {
public:
    const char *name() const override { return "HEIF"; }

    bool sniff(Bytes data) const override
    {
        if (data.size < 12 || std::memcmp(data.data + 4, "ftyp", 4) != 0)
            return false;
        static const char *const brands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis",
                                             "mif1", "msf1", "avif", "avis"};
        for (const char *b : brands)
            if (std::memcmp(data.data + 8, b, 4) == 0)
                return true;
        return false;
    }

    Header readHeader(Bytes data) const override
    {
        Heif h;
        h.open(data);
        Header hd;
        hd.format = isAvif(data) ? 9 : 8;
        hd.width = heif_image_handle_get_width(h.handle);
        hd.height = heif_image_handle_get_height(h.handle);
        int luma = heif_image_handle_get_luma_bits_per_pixel(h.handle);
        hd.bitsPerPixel = (luma > 0 ? luma : 8) * (heif_image_handle_has_alpha_channel(h.handle) ? 4 : 3);
        return hd;
    }

    Image decode(Bytes data, const Header &, const DecodeOptions &) const override
    {
        Heif h;
        h.open(data);
        const int w = heif_image_handle_get_width(h.handle);
        const int hh = heif_image_handle_get_height(h.handle);
        checkLimits(w, hh);
        const bool alpha = heif_image_handle_has_alpha_channel(h.handle);
        h.options = heif_decoding_options_alloc();
        Heif::check(heif_decode_image(h.handle, &h.image, heif_colorspace_RGB,
                                      alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                                      h.options));
        int stride = 0;
        const uint8_t *px = heif_image_get_plane_readonly(h.image, heif_channel_interleaved, &stride);
        const int iw = heif_image_get_width(h.image, heif_channel_interleaved);
        const int ih = heif_image_get_height(h.image, heif_channel_interleaved);
        if (!px || iw != w || ih != hh || stride < w * (alpha ? 4 : 3))
            fail("HEIF: corrupt data");
        Image img = Image::allocate(w, hh);
        for (int y = 0; y < hh; ++y) {
            const uint8_t *s = px + size_t(y) * size_t(stride);
            uint8_t *o = img.row(y);
            if (!alpha) {
                for (int x = 0; x < w; ++x, s += 3, o += 3) {
                    o[0] = s[2];
                    o[1] = s[1];
                    o[2] = s[0];
                }
            } else {
                for (int x = 0; x < w; ++x, s += 4, o += 3) {
                    unsigned a = s[3], rest = 255 - a;
                    o[0] = uint8_t((s[2] * a + 255 * rest + 127) / 255);
                    o[1] = uint8_t((s[1] * a + 255 * rest + 127) / 255);
                    o[2] = uint8_t((s[0] * a + 255 * rest + 127) / 255);
                }
            }
        }
        return img;
    }
};

}  // namespace

const Decoder &heifDecoder()
{
    static const HeifDecoder decoder;
    return decoder;
}

}  // namespace qzgfx
