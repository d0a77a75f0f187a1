#include "quantize.h"

#include <cstring>
#include <vector>

#include <libimagequant.h>

#include "errors.h"

namespace qzgfx {

namespace {

Indexed allocateIndexed(const Image &img)
{
    Indexed out;
    out.width = img.width;
    out.height = img.height;
    out.stride = bmpStride(img.width, 1);
    out.indices = allocatePixels(out.stride * size_t(img.height));
    std::memset(out.indices.get(), 0, out.stride * size_t(img.height));
    return out;
}

void bgrRow(liq_color rowOut[], int row, int width, void *user)
{
    const Image &img = *static_cast<const Image *>(user);
    const uint8_t *s = img.row(row);
    for (int x = 0; x < width; ++x, s += 3)
        rowOut[x] = liq_color{s[2], s[1], s[0], 255};
}

struct Liq {
    liq_attr *attr = nullptr;
    liq_image *image = nullptr;
    liq_result *result = nullptr;
    ~Liq()
    {
        if (result)
            liq_result_destroy(result);
        if (image)
            liq_image_destroy(image);
        if (attr)
            liq_attr_destroy(attr);
    }
};

}  // namespace

Indexed quantize256(const Image &img)
{
    Indexed out = allocateIndexed(img);
    Liq q;
    q.attr = liq_attr_create();
    if (!q.attr)
        fail("out of memory");
    liq_set_max_colors(q.attr, 256);
    q.image = liq_image_create_custom(q.attr, bgrRow, const_cast<Image *>(&img), img.width, img.height, 0);
    if (!q.image)
        fail("cannot quantise the picture");
    if (liq_image_quantize(q.image, q.attr, &q.result) != LIQ_OK)
        fail("cannot quantise the picture");
    liq_set_dithering_level(q.result, 1.0f);
    std::vector<unsigned char *> rows(size_t(img.height));
    for (int y = 0; y < img.height; ++y)
        rows[size_t(y)] = out.indices.get() + size_t(y) * out.stride;
    if (liq_write_remapped_image_rows(q.result, q.image, rows.data()) != LIQ_OK)
        fail("cannot quantise the picture");
    const liq_palette *pal = liq_get_palette(q.result);
    out.colors = int(pal->count);
    for (unsigned i = 0; i < pal->count; ++i) {
        out.palette[4 * i + 0] = pal->entries[i].b;
        out.palette[4 * i + 1] = pal->entries[i].g;
        out.palette[4 * i + 2] = pal->entries[i].r;
    }
    return out;
}

Indexed greyscale(const Image &img)
{
    Indexed out = allocateIndexed(img);
    out.colors = 256;
    for (int i = 0; i < 256; ++i)
        out.palette[4 * i] = out.palette[4 * i + 1] = out.palette[4 * i + 2] = uint8_t(i);
    for (int y = 0; y < img.height; ++y) {
        const uint8_t *s = img.row(y);
        uint8_t *d = out.indices.get() + size_t(y) * out.stride;
        for (int x = 0; x < img.width; ++x, s += 3)
            d[x] = uint8_t((29 * s[0] + 150 * s[1] + 77 * s[2] + 128) >> 8);
    }
    return out;
}

}  // namespace qzgfx
