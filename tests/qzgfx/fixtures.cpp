#include "fixtures.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>

#include <QBuffer>
#include <QByteArray>

#include <gif_lib.h>
#include <libheif/heif.h>
#include <tiffio.h>
#include <webp/encode.h>

// Under the sanitizers: x265, which writes the HEIC fixtures, keeps one
// allocation for good. Not ours to fix.
extern "C" const char *__lsan_default_suppressions() { return "leak:libx265\n"; }

namespace fixtures {

QImage pattern(int width, int height)
{
    QImage img(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int r = width > 1 ? x * 255 / (width - 1) : 0;
            int g = height > 1 ? y * 255 / (height - 1) : 0;
            int b = ((x / 8 + y / 8) & 1) ? 200 : 40;
            img.setPixel(x, y, qRgb(r, g, b));
        }
    return img;
}

QImage fewColours(int width, int height)
{
    static const QRgb colours[] = {0xff0000, 0x00ff00, 0x0000ff, 0xffffff, 0x000000, 0x808080,
                                   0xffff00, 0x00ffff, 0xff00ff, 0x123456, 0xfedcba, 0x7f0000};
    QImage img(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixel(x, y, 0xff000000u | colours[(x / 3 + y / 2 * 5 + x * y) % 12]);
    return img;
}

std::vector<uint8_t> readBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write fixture " + path.string());
}

void saveQt(const QImage &img, const fs::path &path, const char *format, int quality)
{
    if (!img.save(QString::fromStdString(path.string()), format, quality))
        throw std::runtime_error("QImage cannot save " + path.string());
}

void saveTiff(const QImage &src, const fs::path &path)
{
    QImage img = src.convertToFormat(QImage::Format_RGB888);
    TIFF *tif = TIFFOpen(path.c_str(), "w");
    if (!tif)
        throw std::runtime_error("TIFFOpen failed");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(img.width()));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(img.height()));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
    for (int y = 0; y < img.height(); ++y)
        TIFFWriteScanline(tif, img.scanLine(y), uint32_t(y), 0);
    TIFFClose(tif);
}

namespace {
int gifWrite(GifFileType *gif, const GifByteType *data, int len)
{
    auto *out = static_cast<std::vector<uint8_t> *>(gif->UserData);
    out->insert(out->end(), data, data + len);
    return len;
}
}  // namespace

void saveGif(const QImage &src, const fs::path &path)
{
    QImage img = src.convertToFormat(QImage::Format_RGB32);
    std::map<QRgb, int> index;
    std::vector<GifColorType> colours;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            QRgb c = img.pixel(x, y) & 0xffffff;
            if (!index.count(c)) {
                index[c] = int(colours.size());
                colours.push_back({GifByteType(qRed(c)), GifByteType(qGreen(c)), GifByteType(qBlue(c))});
            }
        }
    if (colours.size() > 256)
        throw std::runtime_error("too many colours for GIF");
    while (colours.size() < 256)
        colours.push_back({0, 0, 0});
    std::vector<uint8_t> bytes;
    int err = 0;
    GifFileType *gif = EGifOpen(&bytes, gifWrite, &err);
    ColorMapObject *map = GifMakeMapObject(256, colours.data());
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, img.width(), img.height(), 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, img.width(), img.height(), false, nullptr);
    std::vector<GifPixelType> line(size_t(img.width()));
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x)
            line[size_t(x)] = GifPixelType(index[img.pixel(x, y) & 0xffffff]);
        EGifPutLine(gif, line.data(), img.width());
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    writeBytes(path, bytes);
}

void saveWebp(const QImage &src, const fs::path &path, bool lossless, bool alpha)
{
    uint8_t *out = nullptr;
    size_t size;
    if (alpha) {
        QImage img = src.convertToFormat(QImage::Format_RGBA8888);
        size = WebPEncodeLosslessRGBA(img.constBits(), img.width(), img.height(), int(img.bytesPerLine()), &out);
    } else {
        QImage img = src.convertToFormat(QImage::Format_RGB888);
        size = lossless ? WebPEncodeLosslessRGB(img.constBits(), img.width(), img.height(), int(img.bytesPerLine()), &out)
                        : WebPEncodeRGB(img.constBits(), img.width(), img.height(), int(img.bytesPerLine()), 95, &out);
    }
    if (!size)
        throw std::runtime_error("WebP encode failed");
    writeBytes(path, std::vector<uint8_t>(out, out + size));
    WebPFree(out);
}

bool saveHeif(const QImage &src, const fs::path &path, bool avif)
{
    const heif_compression_format fmt = avif ? heif_compression_AV1 : heif_compression_HEVC;
    if (!heif_have_encoder_for_format(fmt))
        return false;
    QImage img = src.convertToFormat(QImage::Format_RGB888);
    heif_context *ctx = heif_context_alloc();
    heif_encoder *enc = nullptr;
    if (heif_context_get_encoder_for_format(ctx, fmt, &enc).code != heif_error_Ok) {
        heif_context_free(ctx);
        return false;
    }
    heif_encoder_set_lossy_quality(enc, 95);
    heif_image *him = nullptr;
    heif_image_create(img.width(), img.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &him);
    heif_image_add_plane(him, heif_channel_interleaved, img.width(), img.height(), 8);
    int stride = 0;
    uint8_t *p = heif_image_get_plane(him, heif_channel_interleaved, &stride);
    for (int y = 0; y < img.height(); ++y)
        std::memcpy(p + size_t(y) * size_t(stride), img.constScanLine(y), size_t(img.width()) * 3);
    heif_error e = heif_context_encode_image(ctx, him, enc, nullptr, nullptr);
    if (e.code == heif_error_Ok)
        e = heif_context_write_to_file(ctx, path.c_str());
    heif_image_release(him);
    heif_encoder_release(enc);
    heif_context_free(ctx);
    if (e.code != heif_error_Ok)
        throw std::runtime_error(std::string("HEIF encode failed: ") + e.message);
    return true;
}

std::vector<uint8_t> jpegWithOrientation(const QImage &img, int orientation)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "JPEG", 95);
    // APP1: "Exif\0\0", a big-endian TIFF header, IFD0 with one entry.
    const uint8_t exif[] = {
        'E', 'x', 'i', 'f', 0, 0,
        'M', 'M', 0, 42, 0, 0, 0, 8,
        0, 1,                                              // one entry
        0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, uint8_t(orientation), 0, 0,  // Orientation, SHORT
        0, 0, 0, 0};                                       // no next IFD
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.push_back(0xFF);
    out.push_back(0xE1);
    out.push_back(0);
    out.push_back(uint8_t(sizeof exif + 2));
    out.insert(out.end(), exif, exif + sizeof exif);
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

namespace {
void put16(std::vector<uint8_t> &v, size_t at, uint32_t x)
{
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}
void put32(std::vector<uint8_t> &v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + size_t(i)] = uint8_t(x >> (8 * i));
}
}  // namespace

std::vector<uint8_t> infoHeader40(int32_t width, int32_t height, int bpp, uint32_t compression, uint32_t colorsUsed)
{
    std::vector<uint8_t> h(40, 0);
    put32(h, 0, 40);
    put32(h, 4, uint32_t(width));
    put32(h, 8, uint32_t(height));
    put16(h, 12, 1);
    put16(h, 14, uint32_t(bpp));
    put32(h, 16, compression);
    put32(h, 32, colorsUsed);
    return h;
}

std::vector<uint8_t> bmpFile(const std::vector<uint8_t> &info, const std::vector<uint8_t> &palette,
                             const std::vector<uint8_t> &pixels)
{
    std::vector<uint8_t> f(14, 0);
    f[0] = 'B';
    f[1] = 'M';
    const size_t offset = 14 + info.size() + palette.size();
    put32(f, 2, uint32_t(offset + pixels.size()));
    put32(f, 10, uint32_t(offset));
    f.insert(f.end(), info.begin(), info.end());
    f.insert(f.end(), palette.begin(), palette.end());
    f.insert(f.end(), pixels.begin(), pixels.end());
    return f;
}

QImage loadBmp(const fs::path &path)
{
    QImage img;
    img.load(QString::fromStdString(path.string()), "BMP");
    return img;
}

::testing::AssertionResult samePixels(const QImage &expectedIn, const QImage &actualIn, int tolerance)
{
    if (expectedIn.isNull() || actualIn.isNull())
        return ::testing::AssertionFailure() << "null picture (expected null: " << expectedIn.isNull()
                                             << ", actual null: " << actualIn.isNull() << ")";
    if (expectedIn.size() != actualIn.size())
        return ::testing::AssertionFailure() << "size " << actualIn.width() << " x " << actualIn.height()
                                             << ", expected " << expectedIn.width() << " x " << expectedIn.height();
    QImage e = expectedIn.convertToFormat(QImage::Format_RGB32);
    QImage a = actualIn.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < e.height(); ++y)
        for (int x = 0; x < e.width(); ++x) {
            QRgb p = e.pixel(x, y), q = a.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
                std::abs(qBlue(p) - qBlue(q)) > tolerance) {
                char text[160];
                std::snprintf(text, sizeof text, "first wrong pixel at row %d, column %d: expected %06x, actual %06x",
                              y, x, p & 0xffffff, q & 0xffffff);
                return ::testing::AssertionFailure() << text;
            }
        }
    return ::testing::AssertionSuccess();
}

double meanDifference(const QImage &ai, const QImage &bi)
{
    QImage a = ai.convertToFormat(QImage::Format_RGB32);
    QImage b = bi.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size())
        return 1e9;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

}  // namespace fixtures
