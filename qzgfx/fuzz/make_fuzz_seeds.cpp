// Writes the seed corpus of the fuzz targets: a small picture in every
// format the library reads, and bitmaps of every kind the BMP reader knows.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <libheif/heif.h>
#include <tiffio.h>
#include <webp/encode.h>

#include "encoders.h"
#include "fileio.h"
#include "image.h"

namespace fs = std::filesystem;
using namespace qzgfx;

namespace {

fs::path readDir, bmpDir;

void save(const fs::path &dir, const std::string &name, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> slurp(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

Image picture(int w, int h)
{
    Image img = Image::allocate(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t *p = img.row(y) + 3 * x;
            p[0] = uint8_t(x * 16);
            p[1] = uint8_t(y * 20);
            p[2] = uint8_t((x ^ y) & 1 ? 200 : 30);
        }
    return img;
}

template <class Write>
void viaLibrary(const std::string &name, Write write)
{
    AtomicFile out((readDir / name).string());
    write(out);
    out.commit();
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bmp") == 0)
        fs::copy_file(readDir / name, bmpDir / name, fs::copy_options::overwrite_existing);
}

void put16(std::vector<uint8_t> &v, uint32_t x)
{
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t> &v, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v.push_back(uint8_t(x >> (8 * i)));
}

std::vector<uint8_t> bmp(uint32_t headerSize, int32_t w, int32_t h, int bpp, uint32_t compression,
                         const std::vector<uint8_t> &extra, const std::vector<uint8_t> &pixels, uint32_t colors = 0)
{
    std::vector<uint8_t> info;
    if (headerSize == 12) {
        put32(info, 12);
        put16(info, uint32_t(w));
        put16(info, uint32_t(h));
        put16(info, 1);
        put16(info, uint32_t(bpp));
    } else {
        put32(info, headerSize);
        put32(info, uint32_t(w));
        put32(info, uint32_t(h));
        put16(info, 1);
        put16(info, uint32_t(bpp));
        put32(info, compression);
        put32(info, uint32_t(pixels.size()));
        put32(info, 2835);
        put32(info, 2835);
        put32(info, colors);
        put32(info, 0);
        info.resize(headerSize, 0);
    }
    std::vector<uint8_t> f = {'B', 'M'};
    const uint32_t offset = uint32_t(14 + info.size() + extra.size());
    put32(f, uint32_t(offset + pixels.size()));
    put32(f, 0);
    put32(f, offset);
    f.insert(f.end(), info.begin(), info.end());
    f.insert(f.end(), extra.begin(), extra.end());
    f.insert(f.end(), pixels.begin(), pixels.end());
    return f;
}

std::vector<uint8_t> palette(int n, int entry)
{
    std::vector<uint8_t> p;
    for (int i = 0; i < n; ++i) {
        p.push_back(uint8_t(i * 37));
        p.push_back(uint8_t(i * 91));
        p.push_back(uint8_t(255 - i * 13));
        if (entry == 4)
            p.push_back(0);
    }
    return p;
}

void bitmaps()
{
    std::vector<uint8_t> rows1 = {0xA5, 0, 0, 0, 0x5A, 0, 0, 0};
    std::vector<uint8_t> rows4 = {0x01, 0x23, 0x45, 0x60, 0x76, 0x54, 0x32, 0x10};
    std::vector<uint8_t> rows8 = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {
        {"bits1.bmp", bmp(40, 7, 2, 1, 0, palette(2, 4), rows1)},
        {"bits4.bmp", bmp(40, 7, 2, 4, 0, palette(16, 4), rows4)},
        {"bits8_topdown.bmp", bmp(40, 8, -2, 8, 0, palette(8, 4), rows8, 8)},
        {"os2_core.bmp", bmp(12, 8, 2, 8, 0, palette(256, 3), rows8)},
        {"os2_v2.bmp", bmp(64, 8, 2, 8, 0, palette(256, 4), rows8)},
        {"rle8.bmp", bmp(40, 6, 3, 8, 1, palette(8, 4), {3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 1, 1, 4, 3, 0, 0, 6, 5, 0, 1}, 8)},
        {"rle4.bmp", bmp(40, 6, 2, 4, 2, palette(8, 4), {6, 0x12, 0, 0, 0, 6, 0x34, 0x51, 0x23, 0, 0, 1}, 8)},
        {"bits16.bmp", bmp(40, 3, 1, 16, 0, {}, {0, 0x7C, 0xE0, 0x03, 0x1F, 0, 0, 0})},
        {"bits16_565.bmp", bmp(40, 2, 2, 16, 3, {0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0x1F, 0, 0, 0}, {0, 0xF8, 0xE0, 7, 0x1F, 0, 0xFF, 0xFF})},
        {"bits32.bmp", bmp(40, 2, 1, 32, 0, {}, {0, 0, 255, 0, 10, 20, 30, 0})},
        {"bits32_v5_masks.bmp", [] {
             std::vector<uint8_t> hdr;
             auto f = bmp(124, 2, 1, 32, 3, {}, {255, 0, 0, 0, 1, 2, 3, 0});
             // Masks inside the header, red in the low byte.
             const uint32_t masks[3] = {0xFF, 0xFF00, 0xFF0000};
             for (int i = 0; i < 3; ++i)
                 for (int b = 0; b < 4; ++b)
                     f[14 + 40 + 4 * i + b] = uint8_t(masks[i] >> (8 * b));
             return f;
         }()},
    };
    for (const auto &[name, bytes] : cases) {
        save(bmpDir, name, bytes);
        save(readDir, name, bytes);
    }
}

int gifWrite(GifFileType *gif, const GifByteType *data, int len)
{
    auto *out = static_cast<std::vector<uint8_t> *>(gif->UserData);
    out->insert(out->end(), data, data + len);
    return len;
}

void gifSeed(bool interlace)
{
    std::vector<uint8_t> bytes;
    int err = 0;
    GifFileType *g = EGifOpen(&bytes, gifWrite, &err);
    GifColorType colours[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 255, 255}};
    ColorMapObject *map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(g, true);
    EGifPutScreenDesc(g, 12, 10, 2, 0, map);
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = 3;
    GifByteType ext[4];
    size_t n = EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, int(n), ext);
    EGifPutImageDesc(g, 1, 1, 10, 8, interlace, nullptr);
    GifPixelType line[10];
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 10; ++x)
            line[x] = GifPixelType((x + y) % 4);
        EGifPutLine(g, line, 10);
    }
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    save(readDir, interlace ? "interlaced.gif" : "plain.gif", bytes);
}

void tiffSeed(const Image &img, uint16_t compression, const char *name)
{
    const fs::path p = readDir / name;
    TIFF *t = TIFFOpen(p.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(img.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(img.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4);
    std::vector<uint8_t> row(size_t(img.width) * 3);
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x)
            for (int c = 0; c < 3; ++c)
                row[size_t(x) * 3 + size_t(c)] = img.row(y)[x * 3 + 2 - c];
        TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
    }
    TIFFClose(t);
}

void webpSeed(const Image &img)
{
    uint8_t *out = nullptr;
    size_t n = WebPEncodeBGR(img.pixels.get(), img.width, img.height, int(img.stride), 80, &out);
    save(readDir, "lossy.webp", std::vector<uint8_t>(out, out + n));
    WebPFree(out);
    n = WebPEncodeLosslessBGR(img.pixels.get(), img.width, img.height, int(img.stride), &out);
    save(readDir, "lossless.webp", std::vector<uint8_t>(out, out + n));
    WebPFree(out);
}

void heifSeed(const Image &img, heif_compression_format format, const char *name)
{
    if (!heif_have_encoder_for_format(format))
        return;
    heif_context *ctx = heif_context_alloc();
    heif_encoder *enc = nullptr;
    if (heif_context_get_encoder_for_format(ctx, format, &enc).code == heif_error_Ok) {
        heif_encoder_set_lossy_quality(enc, 50);
        heif_image *him = nullptr;
        heif_image_create(img.width, img.height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &him);
        heif_image_add_plane(him, heif_channel_interleaved, img.width, img.height, 8);
        int stride = 0;
        uint8_t *p = heif_image_get_plane(him, heif_channel_interleaved, &stride);
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x)
                for (int c = 0; c < 3; ++c)
                    p[y * stride + x * 3 + c] = img.row(y)[x * 3 + 2 - c];
        if (heif_context_encode_image(ctx, him, enc, nullptr, nullptr).code == heif_error_Ok)
            heif_context_write_to_file(ctx, (readDir / name).c_str());
        heif_image_release(him);
        heif_encoder_release(enc);
    }
    heif_context_free(ctx);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <seeds folder>\n", argv[0]);
        return 2;
    }
    readDir = fs::path(argv[1]) / "fuzz_read";
    bmpDir = fs::path(argv[1]) / "fuzz_bmp";
    fs::create_directories(readDir);
    fs::create_directories(bmpDir);
    try {
        const Image img = picture(16, 12);
        viaLibrary("q75.jpg", [&](AtomicFile &f) { writeJpeg(img, 75, f); });
        viaLibrary("q20.jpg", [&](AtomicFile &f) { writeJpeg(picture(33, 9), 20, f); });
        viaLibrary("p.png", [&](AtomicFile &f) { writePng(img, f); });
        viaLibrary("p24.bmp", [&](AtomicFile &f) { writeBmp24(img, f); });
        viaLibrary("p.ppm", [&](AtomicFile &f) { writePpm(img, f); });
        save(readDir, "plain.pgm", {'P', '2', '\n', '#', ' ', 'c', '\n', '2', ' ', '2', '\n', '9', '\n', '0', ' ', '3', ' ', '6', ' ', '9', '\n'});
        save(readDir, "plain.pbm", {'P', '1', '\n', '3', ' ', '2', '\n', '1', '0', '1', '0', '1', '0', '\n'});
        save(readDir, "raw.pbm", {'P', '4', '\n', '9', ' ', '2', '\n', 0xA5, 0x80, 0x5A, 0x00});
        save(readDir, "wide.pgm", {'P', '5', '\n', '2', ' ', '1', '\n', '6', '5', '5', '3', '5', '\n', 0x12, 0x34, 0xFF, 0xFF});
        // A JPEG with an EXIF orientation.
        auto jpeg = slurp(readDir / "q75.jpg");
        const uint8_t exif[] = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                                1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
        jpeg.insert(jpeg.begin() + 2, exif, exif + sizeof exif);
        save(readDir, "exif6.jpg", jpeg);
        bitmaps();
        gifSeed(false);
        gifSeed(true);
        tiffSeed(img, COMPRESSION_NONE, "plain.tif");
        tiffSeed(img, COMPRESSION_LZW, "lzw.tif");
        tiffSeed(img, COMPRESSION_ADOBE_DEFLATE, "deflate.tif");
        webpSeed(img);
        heifSeed(img, heif_compression_HEVC, "p.heic");
        heifSeed(img, heif_compression_AV1, "p.avif");
    } catch (const std::exception &e) {
        std::fprintf(stderr, "make_fuzz_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
