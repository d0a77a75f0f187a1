// The C entry points. Each one catches everything, returns its boolean and
// leaves the reason in the thread's error text; the work is done by the
// decoders and writers behind them.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "graphics.h"

#include "cache.h"
#include "decoder.h"
#include "encoders.h"
#include "errors.h"
#include "fileio.h"
#include "picture_limits.h"
#include "quantize.h"

#define QZGFX_EXPORT extern "C" __attribute__((visibility("default")))

using namespace qzgfx;

namespace {

template <class F>
int32_t guard(F &&work) noexcept
{
    try {
        work();
        setLastError("");
        return 1;
    } catch (const std::bad_alloc &) {
        setLastError("out of memory");
    } catch (const std::exception &e) {
        setLastError(e.what());
    } catch (...) {
        setLastError("internal error");
    }
    return 0;
}

std::string pathOf(const char *p)
{
    return p ? std::string(p) : std::string();
}

struct Loaded {
    Header header;
    Image image;
};

Loaded loadPicture(const char *source, int pcdCode, int jpegScale)
{
    FileData file = readFile(pathOf(source));
    const Decoder &decoder = decoderFor(file.bytes());
    Loaded l;
    l.header = decoder.readHeader(file.bytes());
    checkLimits(l.header.width, l.header.height);
    DecodeOptions options;
    options.jpegScale = jpegScale;
    options.pcdCode = pcdCode;
    l.image = decoder.decode(file.bytes(), l.header, options);
    return l;
}

// The pixels of a bitmap given to the writing calls: from memory when the
// file is the one we last wrote or read and is unchanged.
std::shared_ptr<const Image> bitmapPixels(const char *bitmap)
{
    const std::string path = pathOf(bitmap);
    if (auto hit = cachedPixels(identityOf(path)))
        return hit;
    FileData file = readFile(path);
    const Decoder &decoder = decoderFor(file.bytes());
    Header header = decoder.readHeader(file.bytes());
    checkLimits(header.width, header.height);
    auto image = std::make_shared<const Image>(decoder.decode(file.bytes(), header, DecodeOptions{}));
    rememberPixels(file.identity, image);
    return image;
}

void fillRead(ImageInfo *info, const Header &h, int width, int height, int colors, const FileIdentity &written)
{
    if (!info)
        return;
    info->Width = width;
    info->Height = height;
    info->Format = h.format;
    info->BitsPerPixel = h.bitsPerPixel;
    info->SourceWidth = h.width;
    info->SourceHeight = h.height;
    info->Orientation = h.orientation;
    info->Colors = colors;
    info->XDpi = h.xdpi;
    info->YDpi = h.ydpi;
    info->FileSize = int32_t(uint32_t(uint64_t(written.size)));
}

void fillWritten(ImageInfo *info, int width, int height, const FileIdentity &written)
{
    if (!info)
        return;
    info->Width = width;
    info->Height = height;
    info->FileSize = int32_t(uint32_t(uint64_t(written.size)));
}

int32_t convertToPalette(const char *source, const char *bitmap, ImageInfo *info, int32_t pcdCode,
                         int32_t jpegScale, bool grey)
{
    return guard([&] {
        Loaded l = loadPicture(source, pcdCode, jpegScale);
        Indexed px = grey ? greyscale(l.image) : quantize256(l.image);
        AtomicFile out(pathOf(bitmap));
        writeBmp8(px.width, px.height, px.indices.get(), px.stride, px.palette, px.colors, out);
        FileIdentity id = out.commit();
        fillRead(info, l.header, px.width, px.height, px.colors, id);
    });
}

}  // namespace

QZGFX_EXPORT int32_t _anytobmps(const char *source, const char *bitmap, ImageInfo *info, int32_t pcdCode,
                                int32_t jpegScale)
{
    return guard([&] {
        Loaded l = loadPicture(source, pcdCode, jpegScale);
        auto image = std::make_shared<const Image>(std::move(l.image));
        AtomicFile out(pathOf(bitmap));
        writeBmp24(*image, out);
        FileIdentity id = out.commit();
        rememberPixels(id, image);
        fillRead(info, l.header, image->width, image->height, 0, id);
    });
}

QZGFX_EXPORT int32_t _anyto256(const char *source, const char *bitmap, ImageInfo *info, int32_t pcdCode,
                               int32_t jpegScale)
{
    return convertToPalette(source, bitmap, info, pcdCode, jpegScale, false);
}

QZGFX_EXPORT int32_t _anytogrey(const char *source, const char *bitmap, ImageInfo *info, int32_t pcdCode,
                                int32_t jpegScale)
{
    return convertToPalette(source, bitmap, info, pcdCode, jpegScale, true);
}

QZGFX_EXPORT int32_t _Pic_Valid(const char *fileName)
{
    return guard([&] {
        FileData file = readFile(pathOf(fileName));
        const Decoder &decoder = decoderFor(file.bytes());
        Header h = decoder.readHeader(file.bytes());
        checkLimits(h.width, h.height);
    });
}

QZGFX_EXPORT int32_t _bmptoanys(const char *bitmap, const char *destination, ImageInfo *info, int32_t format,
                                int32_t quality)
{
    return guard([&] {
        if (format != QZ_FORMAT_BMP && format != QZ_FORMAT_JPEG && format != QZ_FORMAT_PNG &&
            format != QZ_FORMAT_PNM)
            fail("unsupported output format " + std::to_string(format));
        std::shared_ptr<const Image> image = bitmapPixels(bitmap);
        const int q = std::clamp<int32_t>(quality, 1, 100);
        AtomicFile out(pathOf(destination));
        switch (format) {
        case QZ_FORMAT_BMP: writeBmp24(*image, out); break;
        case QZ_FORMAT_JPEG: writeJpeg(*image, q, out); break;
        case QZ_FORMAT_PNG: writePng(*image, out); break;
        default: writePpm(*image, out); break;
        }
        FileIdentity id = out.commit();
        if (format == QZ_FORMAT_BMP)
            rememberPixels(id, image);
        fillWritten(info, image->width, image->height, id);
        if (info && format == QZ_FORMAT_JPEG)
            info->Quality = q;
    });
}

QZGFX_EXPORT int32_t _bmpcrop(const char *source, const char *destination, ImageInfo *info, int32_t x, int32_t y,
                              int32_t width, int32_t height)
{
    return guard([&] {
        std::shared_ptr<const Image> src = bitmapPixels(source);
        // Clip in 64 bits: x + width may overflow 32.
        const int64_t left = std::max<int64_t>(x, 0);
        const int64_t top = std::max<int64_t>(y, 0);
        const int64_t right = std::min<int64_t>(int64_t(x) + width, src->width);
        const int64_t bottom = std::min<int64_t>(int64_t(y) + height, src->height);
        if (width <= 0 || height <= 0 || right <= left || bottom <= top)
            fail("empty crop rectangle: " + std::to_string(x) + ", " + std::to_string(y) + ", " +
                 std::to_string(width) + " x " + std::to_string(height));
        auto crop = std::make_shared<Image>(Image::allocate(int(right - left), int(bottom - top)));
        for (int row = 0; row < crop->height; ++row)
            std::memcpy(crop->row(row), src->row(int(top) + row) + size_t(left) * 3, size_t(crop->width) * 3);
        AtomicFile out(pathOf(destination));
        writeBmp24(*crop, out);
        FileIdentity id = out.commit();
        rememberPixels(id, crop);
        fillWritten(info, crop->width, crop->height, id);
    });
}

QZGFX_EXPORT const char *_qz_last_error(void)
{
    return lastError();
}
