// Portable anymap: P1-P6 read (8 and 16 bits, plain and raw), P6 written.
#include <cstdio>
#include <cstring>
#include <string>

#include "decoder.h"
#include "encoders.h"
#include "errors.h"
#include "picture_limits.h"

namespace qzgfx {

namespace {

struct Parser {
    Bytes data;
    size_t pos = 2;

    bool space(uint8_t c) const { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
    void skip()
    {
        while (pos < data.size) {
            if (data.data[pos] == '#') {
                while (pos < data.size && data.data[pos] != '\n')
                    ++pos;
            } else if (space(data.data[pos])) {
                ++pos;
            } else {
                break;
            }
        }
    }
    // A decimal number, at most 1e9.
    uint32_t number()
    {
        skip();
        if (pos >= data.size)
            fail("truncated PNM data");
        if (data.data[pos] < '0' || data.data[pos] > '9')
            fail("corrupt PNM data");
        uint64_t v = 0;
        while (pos < data.size && data.data[pos] >= '0' && data.data[pos] <= '9') {
            v = v * 10 + (data.data[pos++] - '0');
            if (v > 1000000000)
                fail("corrupt PNM data");
        }
        return uint32_t(v);
    }
    // Plain bitmaps (P1) may run their digits together.
    uint32_t bit()
    {
        skip();
        if (pos >= data.size)
            fail("truncated PNM data");
        uint8_t c = data.data[pos++];
        if (c != '0' && c != '1')
            fail("corrupt PNM data");
        return c - '0';
    }
};

struct PnmHeader {
    int kind = 0;  // 1-6
    uint32_t width = 0, height = 0, maxval = 1;
    size_t dataStart = 0;
};

PnmHeader parseHeader(Parser &p)
{
    PnmHeader h;
    h.kind = p.data.data[1] - '0';
    h.width = p.number();
    h.height = p.number();
    if (h.kind != 1 && h.kind != 4) {
        h.maxval = p.number();
        if (h.maxval == 0 || h.maxval > 65535)
            fail("corrupt PNM header: maximum value " + std::to_string(h.maxval));
    }
    // Exactly one whitespace byte separates the header from raw data.
    if (p.pos >= p.data.size)
        fail("truncated PNM data");
    h.dataStart = p.pos + 1;
    return h;
}

class PnmDecoder final : public Decoder {
public:
    const char *name() const override { return "PNM"; }

    bool sniff(Bytes data) const override
    {
        return data.size >= 3 && data.data[0] == 'P' && data.data[1] >= '1' && data.data[1] <= '6' &&
               (data.data[2] == ' ' || data.data[2] == '\t' || data.data[2] == '\n' || data.data[2] == '\r' ||
                data.data[2] == '#');
    }

    Header readHeader(Bytes data) const override
    {
        Parser p{data};
        PnmHeader ph = parseHeader(p);
        Header h;
        h.format = 7;
        h.width = int(std::min<uint32_t>(ph.width, 0x7FFFFFFF));
        h.height = int(std::min<uint32_t>(ph.height, 0x7FFFFFFF));
        const int samples = ph.kind == 3 || ph.kind == 6 ? 3 : 1;
        h.bitsPerPixel = ph.kind == 1 || ph.kind == 4 ? 1 : samples * (ph.maxval > 255 ? 16 : 8);
        return h;
    }

    Image decode(Bytes data, const Header &, const DecodeOptions &) const override
    {
        Parser p{data};
        PnmHeader ph = parseHeader(p);
        checkLimits(ph.width, ph.height);
        const int kind = ph.kind;
        const size_t samples = kind == 3 || kind == 6 ? 3 : 1;
        const bool wide = ph.maxval > 255;
        const uint64_t count = uint64_t(ph.width) * ph.height * samples;
        // Every sample needs at least one byte (a raw bitmap one bit), so a
        // short file is refused before the picture is allocated.
        const uint64_t need = kind == 4 ? uint64_t((ph.width + 7) / 8) * ph.height
                              : kind >= 5 ? count * (wide ? 2 : 1) : count;
        const size_t avail = data.size - std::min(data.size, kind >= 4 ? ph.dataStart : p.pos);
        if (need > avail)
            fail("truncated PNM data");
        Image img = Image::allocate(int(ph.width), int(ph.height));
        const uint32_t maxval = ph.maxval;
        auto scale = [&](uint32_t v) -> uint8_t {
            if (v > maxval)
                v = maxval;
            return uint8_t((v * 255 + maxval / 2) / maxval);
        };
        const uint8_t *raw = data.data + ph.dataStart;
        const size_t rawRow = kind == 4 ? (ph.width + 7) / 8 : size_t(ph.width) * samples * (wide ? 2 : 1);
        for (int y = 0; y < img.height; ++y) {
            uint8_t *o = img.row(y);
            for (int x = 0; x < img.width; ++x, o += 3) {
                uint8_t s[3];
                switch (kind) {
                case 1:
                    s[0] = s[1] = s[2] = p.bit() ? 0 : 255;
                    break;
                case 4: {
                    uint8_t byte = raw[size_t(y) * rawRow + size_t(x) / 8];
                    s[0] = s[1] = s[2] = (byte >> (7 - x % 8)) & 1 ? 0 : 255;
                    break;
                }
                case 2:
                    s[0] = s[1] = s[2] = scale(p.number());
                    break;
                case 3:
                    for (int c = 0; c < 3; ++c)
                        s[c] = scale(p.number());
                    break;
                default: {
                    const uint8_t *q = raw + size_t(y) * rawRow + size_t(x) * samples * (wide ? 2 : 1);
                    for (size_t c = 0; c < samples; ++c)
                        s[c] = scale(wide ? be16(q + 2 * c) : q[c]);
                    if (samples == 1)
                        s[1] = s[2] = s[0];
                }
                }
                o[0] = s[2];  // stored R, G, B
                o[1] = s[1];
                o[2] = s[0];
            }
        }
        return img;
    }
};

}  // namespace

const Decoder &pnmDecoder()
{
    static const PnmDecoder decoder;
    return decoder;
}

void writePpm(const Image &img, AtomicFile &out)
{
    char header[64];
    int n = std::snprintf(header, sizeof header, "P6\n%d %d\n255\n", img.width, img.height);
    const size_t rowBytes = size_t(img.width) * 3;
    std::unique_ptr<uint8_t[]> rgb(new uint8_t[rowBytes * size_t(img.height)]);
    for (int y = 0; y < img.height; ++y) {
        const uint8_t *s = img.row(y);
        uint8_t *d = rgb.get() + rowBytes * size_t(y);
        for (int x = 0; x < img.width; ++x, s += 3, d += 3) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
    }
    out.write(header, size_t(n));
    out.write(rgb.get(), rowBytes * size_t(img.height));
}

}  // namespace qzgfx
