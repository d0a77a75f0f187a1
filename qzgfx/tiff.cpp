// TIFF through libtiff's RGBA interface: whatever libtiff can turn into
// RGBA (any bit depth, palette, YCbCr, CMYK, most compressions), first page,
// alpha composited over white. Errors are collected per file, not through
// libtiff's process-wide handlers, so threads do not meet.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <tiffio.h>

#include "decoder.h"
#include "errors.h"
#include "picture_limits.h"

namespace qzgfx {

namespace {

struct Source {
    Bytes data;
    toff_t pos = 0;
    char message[256] = "";
};

tmsize_t readProc(thandle_t h, void *buf, tmsize_t size)
{
    auto *s = static_cast<Source *>(h);
    if (size < 0 || s->pos >= s->data.size)
        return 0;
    size_t n = std::min<size_t>(size_t(size), s->data.size - s->pos);
    std::memcpy(buf, s->data.data + s->pos, n);
    s->pos += n;
    return tmsize_t(n);
}
tmsize_t writeProc(thandle_t, void *, tmsize_t) { return -1; }
toff_t seekProc(thandle_t h, toff_t off, int whence)
{
    auto *s = static_cast<Source *>(h);
    uint64_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->data.size : 0;
    s->pos = base + off;
    return s->pos;
}
int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t h) { return static_cast<Source *>(h)->data.size; }
int mapProc(thandle_t h, void **base, toff_t *size)
{
    auto *s = static_cast<Source *>(h);
    *base = const_cast<uint8_t *>(s->data.data);
    *size = s->data.size;
    return 1;
}
void unmapProc(thandle_t, void *, toff_t) {}

int errorHandler(TIFF *, void *user, const char *module, const char *fmt, va_list ap)
{
    auto *s = static_cast<Source *>(user);
    if (!s->message[0]) {
        char text[200];
        std::vsnprintf(text, sizeof text, fmt, ap);
        std::snprintf(s->message, sizeof s->message, "TIFF: %s%s%s", module ? module : "", module ? ": " : "", text);
    }
    return 1;
}
int warningHandler(TIFF *, void *, const char *, const char *, va_list) { return 1; }

struct Tiff {
    Source source;
    TIFF *tif = nullptr;

    explicit Tiff(Bytes data)
    {
        source.data = data;
        TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(opts, errorHandler, &source);
        TIFFOpenOptionsSetWarningHandlerExtR(opts, warningHandler, &source);
        // One buffer of strips or tiles; real files stay far below, hostile
        // ones claim gigabytes.
        TIFFOpenOptionsSetMaxSingleMemAlloc(opts, 256 << 20);
        tif = TIFFClientOpenExt("memory", "rm", &source, readProc, writeProc, seekProc, closeProc, sizeProc,
                                mapProc, unmapProc, opts);
        TIFFOpenOptionsFree(opts);
        if (!tif)
            raise();
    }
    ~Tiff()
    {
        if (tif)
            TIFFClose(tif);
    }
    [[noreturn]] void raise() const { fail(source.message[0] ? source.message : "corrupt TIFF data"); }
};

class TiffDecoder final : public Decoder {
public:
    const char *name() const override { return "TIFF"; }

    bool sniff(Bytes data) const override
    {
        if (data.size < 4)
            return false;
        const uint8_t *p = data.data;
        return (p[0] == 'I' && p[1] == 'I' && (p[2] == 42 || p[2] == 43) && p[3] == 0) ||
               (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && (p[3] == 42 || p[3] == 43));
    }

    Header readHeader(Bytes data) const override
    {
        Tiff t(data);
        uint32_t w = 0, h = 0;
        uint16_t bits = 1, samples = 1, unit = RESUNIT_INCH;
        float xres = 0, yres = 0;
        TIFFGetField(t.tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(t.tif, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(t.tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(t.tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        Header hd;
        hd.format = 4;
        hd.width = int(std::min<uint32_t>(w, 0x7FFFFFFF));
        hd.height = int(std::min<uint32_t>(h, 0x7FFFFFFF));
        hd.bitsPerPixel = bits * samples;
        if (TIFFGetField(t.tif, TIFFTAG_XRESOLUTION, &xres) && TIFFGetField(t.tif, TIFFTAG_YRESOLUTION, &yres)) {
            TIFFGetFieldDefaulted(t.tif, TIFFTAG_RESOLUTIONUNIT, &unit);
            double f = unit == RESUNIT_CENTIMETER ? 2.54 : unit == RESUNIT_INCH ? 1.0 : 0.0;
            if (xres > 0 && yres > 0 && xres < 1e6 && yres < 1e6) {
                hd.xdpi = int(xres * f + 0.5);
                hd.ydpi = int(yres * f + 0.5);
            }
        }
        char why[1024] = "";
        if (!TIFFRGBAImageOK(t.tif, why))
            fail(std::string("unsupported TIFF: ") + why);
        return hd;
    }

    Image decode(Bytes data, const Header &, const DecodeOptions &) const override
    {
        Tiff t(data);
        uint32_t w = 0, h = 0;
        TIFFGetField(t.tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(t.tif, TIFFTAG_IMAGELENGTH, &h);
        checkLimits(w, h);
        Image img = Image::allocate(int(w), int(h));
        std::unique_ptr<uint32_t[]> raster(new uint32_t[size_t(w) * h]);
        if (!TIFFReadRGBAImageOriented(t.tif, w, h, raster.get(), ORIENTATION_TOPLEFT, 1) || t.source.message[0])
            t.raise();
        for (uint32_t y = 0; y < h; ++y) {
            const uint32_t *s = raster.get() + size_t(y) * w;
            uint8_t *o = img.row(int(y));
            // libtiff hands RGBA premultiplied (associated alpha), so over
            // white each channel is c + (255 - a).
            for (uint32_t x = 0; x < w; ++x, o += 3) {
                unsigned a = TIFFGetA(s[x]), rest = 255 - a;
                o[0] = uint8_t(std::min(255u, TIFFGetB(s[x]) + rest));
                o[1] = uint8_t(std::min(255u, TIFFGetG(s[x]) + rest));
                o[2] = uint8_t(std::min(255u, TIFFGetR(s[x]) + rest));
            }
        }
        return img;
    }
};

}  // namespace

const Decoder &tiffDecoder()
{
    static const TiffDecoder decoder;
    return decoder;
}

}  // namespace qzgfx
