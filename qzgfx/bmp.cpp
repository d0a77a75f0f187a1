// Windows and OS/2 bitmaps, our own reader: 1, 2, 4, 8, 16, 24 and 32 bits,
// RLE4 and RLE8, bit fields, top-down rows, the OS/2 core header. Every
// offset is checked against the file before it is read.
#include <algorithm>
#include <cstring>
#include <string>

#include "decoder.h"
#include "errors.h"
#include "picture_limits.h"

namespace qzgfx {

namespace {

enum : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6 };

struct Layout {
    size_t dataOffset = 0;
    int64_t width = 0, height = 0;
    bool topDown = false;
    int bpp = 0;
    uint32_t compression = kRgb;
    uint32_t masks[3] = {0, 0, 0};  // red, green, blue
    uint8_t palette[256][3] = {};   // B, G, R; unused entries stay black
    int paletteCount = 0;
    int xppm = 0, yppm = 0;
};

Layout parse(Bytes data)
{
    const uint8_t *d = data.data;
    const size_t n = data.size;
    if (n < 14 + 12)
        fail("truncated BMP header");
    Layout L;
    L.dataOffset = le32(d + 10);
    const uint32_t hdr = le32(d + 14);
    const bool core = hdr == 12;
    if (!core && (hdr < 16 || hdr > 4096))
        fail("corrupt BMP header");
    if (14 + size_t(hdr) > n)
        fail("truncated BMP header");
    const uint8_t *h = d + 14;
    // OS/2 2.x headers are 16 to 64 bytes; fields past the given size are zero.
    auto field32 = [&](size_t off) -> uint32_t { return off + 4 <= hdr ? le32(h + off) : 0; };
    if (core) {
        L.width = le16(h + 4);
        L.height = le16(h + 6);
        L.bpp = le16(h + 10);
    } else {
        L.width = int32_t(field32(4));
        int64_t height = int32_t(field32(8));
        L.topDown = height < 0;
        L.height = height < 0 ? -height : height;
        L.bpp = hdr >= 16 ? le16(h + 14) : 0;
        L.compression = field32(16);
        L.xppm = int(std::min<uint32_t>(field32(24), 1u << 30));
        L.yppm = int(std::min<uint32_t>(field32(28), 1u << 30));
    }
    const bool os2v2 = !core && hdr != 40 && hdr != 52 && hdr != 56 && hdr < 108;
    if (os2v2 && (L.compression == 3 || L.compression == 4))
        fail("unsupported BMP compression (OS/2 Huffman or RLE24)");
    switch (L.compression) {
    case kRgb:
        if (L.bpp != 1 && L.bpp != 2 && L.bpp != 4 && L.bpp != 8 && L.bpp != 16 && L.bpp != 24 && L.bpp != 32)
            fail("unsupported BMP bit depth " + std::to_string(L.bpp));
        break;
    case kRle8:
        if (L.bpp != 8)
            fail("corrupt BMP header: RLE8 needs 8 bits");
        break;
    case kRle4:
        if (L.bpp != 4)
            fail("corrupt BMP header: RLE4 needs 4 bits");
        break;
    case kBitfields:
    case kAlphaBitfields:
        if (L.bpp != 16 && L.bpp != 32)
            fail("corrupt BMP header: bit fields need 16 or 32 bits");
        break;
    default:
        fail("unsupported BMP compression " + std::to_string(L.compression));
    }
    checkLimits(L.width, L.height);

    size_t afterHeader = 14 + size_t(hdr);
    if (L.compression == kBitfields || L.compression == kAlphaBitfields) {
        const uint8_t *m;
        if (hdr >= 52) {
            m = h + 40;
        } else {
            // A 40-byte header is followed by the masks.
            size_t count = L.compression == kAlphaBitfields ? 4 : 3;
            if (afterHeader + 4 * count > n)
                fail("truncated BMP header");
            m = d + afterHeader;
            afterHeader += 4 * count;
        }
        for (int i = 0; i < 3; ++i)
            L.masks[i] = le32(m + 4 * i);
    } else if (L.bpp == 16) {
        L.masks[0] = 0x7C00;
        L.masks[1] = 0x03E0;
        L.masks[2] = 0x001F;
    } else if (L.bpp == 32) {
        L.masks[0] = 0xFF0000;
        L.masks[1] = 0x00FF00;
        L.masks[2] = 0x0000FF;
    }

    if (L.bpp <= 8) {
        const size_t entry = core ? 3 : 4;
        uint32_t used = core ? 0 : field32(32);
        size_t count = used && used < (1u << L.bpp) ? used : (1u << L.bpp);
        // Writers that leave the palette short are common; take what is there.
        size_t end = std::min(n, L.dataOffset >= afterHeader ? L.dataOffset : n);
        count = std::min(count, (end - std::min(end, afterHeader)) / entry);
        for (size_t i = 0; i < count; ++i)
            std::memcpy(L.palette[i], d + afterHeader + i * entry, 3);
        L.paletteCount = int(count);
        if (count == 0)
            fail("corrupt BMP: no palette");
    }
    if (L.dataOffset < 14 + 12 || L.dataOffset >= n)
        fail("truncated BMP data");
    return L;
}

// Scales a masked value to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;
    explicit Channel(uint32_t m) : mask(m)
    {
        if (!m)
            return;
        while (!((m >> shift) & 1))
            ++shift;
        max = m >> shift;
    }
    uint8_t operator()(uint32_t px) const
    {
        if (!max)
            return 0;
        uint64_t v = (px & mask) >> shift;
        return uint8_t(std::min<uint64_t>(255, (v * 255 + max / 2) / max));
    }
};

void decodeRle(Bytes data, const Layout &L, Image &img)
{
    const uint8_t *d = data.data;
    const size_t n = data.size;
    const bool rle4 = L.compression == kRle4;
    // Pixels a delta skips over take colour 0.
    for (int y = 0; y < img.height; ++y) {
        uint8_t *r = img.row(y);
        for (int x = 0; x < img.width; ++x)
            std::memcpy(r + 3 * x, L.palette[0], 3);
    }
    auto put = [&](int64_t x, int64_t y, unsigned index) {
        if (x >= img.width || y >= img.height)
            return;
        int row = L.topDown ? int(y) : img.height - 1 - int(y);
        std::memcpy(img.row(row) + 3 * x, L.palette[index], 3);
    };
    size_t p = L.dataOffset;
    int64_t x = 0, y = 0;
    while (y < img.height) {
        if (p + 2 > n)
            fail("truncated BMP data");
        unsigned a = d[p], b = d[p + 1];
        p += 2;
        if (a > 0) {
            for (unsigned i = 0; i < a && x < img.width; ++i, ++x)
                put(x, y, rle4 ? (i & 1 ? b & 15 : b >> 4) : b);
        } else if (b == 0) {
            x = 0;
            ++y;
        } else if (b == 1) {
            break;
        } else if (b == 2) {
            if (p + 2 > n)
                fail("truncated BMP data");
            x += d[p];
            y += d[p + 1];
            p += 2;
        } else {
            size_t bytes = rle4 ? (b + 1) / 2 : b;
            size_t padded = (bytes + 1) & ~size_t(1);
            if (p + bytes > n)
                fail("truncated BMP data");
            for (unsigned i = 0; i < b; ++i, ++x)
                put(x, y, rle4 ? (i & 1 ? d[p + i / 2] & 15 : d[p + i / 2] >> 4) : d[p + i]);
            p += std::min(padded, n - p);
        }
    }
}

void decodeRows(Bytes data, const Layout &L, Image &img)
{
    const size_t stride = ((size_t(L.width) * size_t(L.bpp) + 31) / 32) * 4;
    if (stride * size_t(L.height) > data.size - L.dataOffset)
        fail("truncated BMP data");
    const Channel red(L.masks[0]), green(L.masks[1]), blue(L.masks[2]);
    for (int fy = 0; fy < img.height; ++fy) {
        const uint8_t *s = data.data + L.dataOffset + size_t(fy) * stride;
        uint8_t *o = img.row(L.topDown ? fy : img.height - 1 - fy);
        const int w = img.width;
        switch (L.bpp) {
        case 24:
            std::memcpy(o, s, size_t(w) * 3);
            break;
        case 32:
            if (L.masks[0] == 0xFF0000 && L.masks[1] == 0xFF00 && L.masks[2] == 0xFF) {
                for (int x = 0; x < w; ++x, s += 4, o += 3) {
                    o[0] = s[0];
                    o[1] = s[1];
                    o[2] = s[2];
                }
            } else {
                for (int x = 0; x < w; ++x, s += 4, o += 3) {
                    uint32_t px = le32(s);
                    o[0] = blue(px);
                    o[1] = green(px);
                    o[2] = red(px);
                }
            }
            break;
        case 16:
            for (int x = 0; x < w; ++x, s += 2, o += 3) {
                uint32_t px = le16(s);
                o[0] = blue(px);
                o[1] = green(px);
                o[2] = red(px);
            }
            break;
        default: {  // 1, 2, 4, 8 bits of palette index, most significant first
            const int bpp = L.bpp;
            const unsigned mask = (1u << bpp) - 1;
            for (int x = 0; x < w; ++x, o += 3) {
                size_t bit = size_t(x) * size_t(bpp);
                unsigned index = (s[bit / 8] >> (8 - bpp - bit % 8)) & mask;
                std::memcpy(o, L.palette[index], 3);
            }
        }
        }
    }
}

class BmpDecoder final : public Decoder {
public:
    const char *name() const override { return "BMP"; }

    bool sniff(Bytes data) const override
    {
        return data.size >= 2 && data.data[0] == 'B' && data.data[1] == 'M';
    }

    Header readHeader(Bytes data) const override
    {
        Layout L = parse(data);
        Header h;
        h.format = 1;
        h.width = int(L.width);
        h.height = int(L.height);
        h.bitsPerPixel = L.bpp;
        h.xdpi = int(L.xppm * 0.0254 + 0.5);
        h.ydpi = int(L.yppm * 0.0254 + 0.5);
        return h;
    }

    Image decode(Bytes data, const Header &, const DecodeOptions &) const override
    {
        auto L = std::make_unique<Layout>(parse(data));
        Image img = Image::allocate(int(L->width), int(L->height));
        if (L->compression == kRle8 || L->compression == kRle4)
            decodeRle(data, *L, img);
        else
            decodeRows(data, *L, img);
        return img;
    }
};

}  // namespace

const Decoder &bmpDecoder()
{
    static const BmpDecoder decoder;
    return decoder;
}

}  // namespace qzgfx
