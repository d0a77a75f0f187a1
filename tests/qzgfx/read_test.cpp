// Reading: every format back to a bitmap that Qt loads, the bitmap variants,
// scaled JPEG decodes, EXIF orientation, palette and grey outputs.
#include <cstdio>
#include <cstring>
#include <functional>

#include <jpeglib.h>

#include <QColor>

#include "fixtures.h"
#include "testenv.h"

using namespace fixtures;

namespace {

class ReadTest : public IsolatedTest {
protected:
    fs::path path(const std::string &name) const { return env_.tmp() / name; }
    ImageInfo info{};
};

struct RoundTrip {
    const char *name;
    int format;
    int bitsPerPixel;
    // Writes the fixture; false when this machine cannot make it.
    std::function<bool(const QImage &, const fs::path &)> make;
    bool fewColours;  // the fixture needs a palette-sized picture
    double meanTolerance;  // 0: exact
};

const RoundTrip roundTrips[] = {
    {"bmp", QZ_FORMAT_BMP, 24, [](const QImage &i, const fs::path &p) { saveQt(i, p, "BMP"); return true; }, false, 0},
    {"png", QZ_FORMAT_PNG, 24, [](const QImage &i, const fs::path &p) { saveQt(i, p, "PNG"); return true; }, false, 0},
    {"png16", QZ_FORMAT_PNG, 48,
     [](const QImage &i, const fs::path &p) { saveQt(i.convertToFormat(QImage::Format_RGBX64), p, "PNG"); return true; },
     false, 0},
    {"png_palette", QZ_FORMAT_PNG, 8,
     [](const QImage &i, const fs::path &p) {
         saveQt(i.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither), p, "PNG");
         return true;
     },
     true, 0},
    {"jpeg", QZ_FORMAT_JPEG, 24, [](const QImage &i, const fs::path &p) { saveQt(i, p, "JPEG", 95); return true; }, false, 8},
    {"tiff", QZ_FORMAT_TIFF, 24, [](const QImage &i, const fs::path &p) { saveTiff(i, p); return true; }, false, 0},
    {"gif", QZ_FORMAT_GIF, 8, [](const QImage &i, const fs::path &p) { saveGif(i, p); return true; }, true, 0},
    {"webp_lossless", QZ_FORMAT_WEBP, 24, [](const QImage &i, const fs::path &p) { saveWebp(i, p, true); return true; }, false, 0},
    {"webp_lossy", QZ_FORMAT_WEBP, 24, [](const QImage &i, const fs::path &p) { saveWebp(i, p, false); return true; }, false, 8},
    {"heic", QZ_FORMAT_HEIC, 24, [](const QImage &i, const fs::path &p) { return saveHeif(i, p, false); }, false, 8},
    {"avif", QZ_FORMAT_AVIF, 24, [](const QImage &i, const fs::path &p) { return saveHeif(i, p, true); }, false, 8},
    {"ppm", QZ_FORMAT_PNM, 24, [](const QImage &i, const fs::path &p) { saveQt(i, p, "PPM"); return true; }, false, 0},
};

void PrintTo(const RoundTrip &c, std::ostream *os) { *os << c.name; }

class RoundTripTest : public ReadTest, public ::testing::WithParamInterface<RoundTrip> {};

// Every format read from a file whose name says nothing about it: the
// format comes from the content.
TEST_P(RoundTripTest, ReadsToABitmapQtLoads)
{
    const RoundTrip &c = GetParam();
    const QImage source = c.fewColours ? fewColours(64, 48) : pattern(64, 48);
    const fs::path in = path("picture.dat");
    if (!c.make(source, in))
        GTEST_SKIP() << "no encoder for " << c.name << " on this machine";
    const fs::path out = path("out.bmp");
    ASSERT_TRUE(_Pic_Valid(in.c_str())) << _qz_last_error();
    ASSERT_TRUE(_anytobmps(in.c_str(), out.c_str(), &info, 0, 0)) << _qz_last_error();
    EXPECT_STREQ(_qz_last_error(), "");
    EXPECT_EQ(info.Width, 64);
    EXPECT_EQ(info.Height, 48);
    EXPECT_EQ(info.SourceWidth, 64);
    EXPECT_EQ(info.Format, c.format);
    EXPECT_EQ(info.BitsPerPixel, c.bitsPerPixel);
    EXPECT_EQ(info.FileSize, int32_t(fs::file_size(out)));
    const QImage result = loadBmp(out);
    ASSERT_FALSE(result.isNull());
    EXPECT_FALSE(result.hasAlphaChannel());
    EXPECT_NE(result.format(), QImage::Format_Indexed8);
    if (c.meanTolerance == 0)
        EXPECT_TRUE(samePixels(source, result));
    else
        EXPECT_LT(meanDifference(source, result), c.meanTolerance);
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTripTest, ::testing::ValuesIn(roundTrips),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- bitmaps built byte by byte ----

struct BmpCase {
    const char *name;
    std::function<std::vector<uint8_t>()> file;
    std::vector<std::vector<QRgb>> expected;  // rows top-down
};

// Palette entries B, G, R, 0 (or B, G, R for OS/2).
const QRgb kPal[] = {0x000000, 0xff0000, 0x00ff00, 0x0000ff, 0xffff00, 0x00ffff, 0xff00ff, 0xffffff};

std::vector<uint8_t> palette(int count, int entry = 4)
{
    std::vector<uint8_t> p;
    for (int i = 0; i < count; ++i) {
        QRgb c = kPal[i % 8];
        p.push_back(uint8_t(qBlue(c)));
        p.push_back(uint8_t(qGreen(c)));
        p.push_back(uint8_t(qRed(c)));
        if (entry == 4)
            p.push_back(0);
    }
    return p;
}

// Index grid, top-down, for the packed cases.
const std::vector<std::vector<int>> kIdx = {{1, 2, 3, 0, 7}, {4, 5, 6, 7, 1}, {0, 1, 0, 1, 2}};

std::vector<std::vector<QRgb>> expectedFromIndices(const std::vector<std::vector<int>> &idx, int bpp)
{
    std::vector<std::vector<QRgb>> rows;
    for (const auto &r : idx) {
        rows.emplace_back();
        for (int i : r)
            rows.back().push_back(kPal[bpp == 1 ? i & 1 : i]);
    }
    return rows;
}

std::vector<uint8_t> packed(const std::vector<std::vector<int>> &idx, int bpp, bool topDown)
{
    std::vector<uint8_t> data;
    const size_t stride = ((idx[0].size() * size_t(bpp) + 31) / 32) * 4;
    for (size_t n = 0; n < idx.size(); ++n) {
        const auto &r = idx[topDown ? n : idx.size() - 1 - n];
        std::vector<uint8_t> row(stride, 0);
        for (size_t x = 0; x < r.size(); ++x) {
            unsigned v = unsigned(r[x]) & ((1u << bpp) - 1);
            size_t bit = x * size_t(bpp);
            row[bit / 8] |= uint8_t(v << (8 - bpp - bit % 8));
        }
        data.insert(data.end(), row.begin(), row.end());
    }
    return data;
}

std::vector<uint8_t> le(std::initializer_list<uint32_t> words, int bytes)
{
    std::vector<uint8_t> out;
    for (uint32_t w : words)
        for (int i = 0; i < bytes; ++i)
            out.push_back(uint8_t(w >> (8 * i)));
    return out;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const BmpCase bmpCases[] = {
    {"bits1", [] { return bmpFile(infoHeader40(5, 3, 1, 0, 2), palette(2), packed(kIdx, 1, false)); },
     expectedFromIndices(kIdx, 1)},
    {"bits4", [] { return bmpFile(infoHeader40(5, 3, 4, 0), palette(16), packed(kIdx, 4, false)); },
     expectedFromIndices(kIdx, 4)},
    {"bits8_short_palette", [] { return bmpFile(infoHeader40(5, 3, 8, 0, 8), palette(8), packed(kIdx, 8, false)); },
     expectedFromIndices(kIdx, 8)},
    {"bits8_top_down", [] { return bmpFile(infoHeader40(5, -3, 8, 0, 8), palette(8), packed(kIdx, 8, true)); },
     expectedFromIndices(kIdx, 8)},
    {"os2_core_header",
     [] {
         // BITMAPCOREHEADER: size, 16-bit width and height, planes, bits; 3-byte palette.
         std::vector<uint8_t> h = concat(le({12}, 4), le({5, 3, 1, 8}, 2));
         return bmpFile(h, palette(256, 3), packed(kIdx, 8, false));
     },
     expectedFromIndices(kIdx, 8)},
    {"rle8",
     [] {
         // Bottom row: run of 3 x 1, absolute 2 3 0 (padded), end of line;
         // top row: delta +2, run of 4 x 3, end of bitmap.
         std::vector<uint8_t> d = {3, 1, 0, 3, 2, 3, 0, 0, 0, 0, 0, 2, 2, 0, 4, 3, 0, 1};
         auto h = infoHeader40(6, 2, 8, 1, 8);
         return bmpFile(h, palette(8), d);
     },
     {{kPal[0], kPal[0], kPal[3], kPal[3], kPal[3], kPal[3]}, {kPal[1], kPal[1], kPal[1], kPal[2], kPal[3], kPal[0]}}},
    {"rle4",
     [] {
         // Bottom row: run of 6 alternating 1 and 2, end of line; top row:
         // absolute 3 4 5 1 2 3 (three bytes, padded to four), end of bitmap.
         std::vector<uint8_t> d = {6, 0x12, 0, 0, 0, 6, 0x34, 0x51, 0x23, 0, 0, 1};
         return bmpFile(infoHeader40(6, 2, 4, 2, 8), palette(8), d);
     },
     {{kPal[3], kPal[4], kPal[5], kPal[1], kPal[2], kPal[3]}, {kPal[1], kPal[2], kPal[1], kPal[2], kPal[1], kPal[2]}}},
    {"bits16_555",
     [] {
         // x1111 1 00000 00000 = red, 0 00000 11111 00000 = green, then blue, white; padded to 8 bytes.
         return bmpFile(infoHeader40(3, 1, 16, 0), {}, le({0x7C00, 0x03E0, 0x001F, 0}, 2));
     },
     {{0xff0000, 0x00ff00, 0x0000ff}}},
    {"bits16_565_bitfields",
     [] {
         return bmpFile(infoHeader40(2, 2, 16, 3), le({0xF800, 0x07E0, 0x001F}, 4), le({0xF800, 0x07E0, 0x001F, 0xFFFF}, 2));
     },
     {{0x0000ff, 0xffffff}, {0xff0000, 0x00ff00}}},
    {"bits24_top_down", [] { return bmpFile(infoHeader40(2, -2, 24, 0), {}, {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0}); },
     {{0xff0000, 0x00ff00}, {0x0000ff, 0xffffff}}},
    {"bits32",
     [] { return bmpFile(infoHeader40(2, 1, 32, 0), {}, {0, 0, 255, 0, 10, 20, 30, 0}); },
     {{0xff0000, 0x1e140a}}},
    {"bits32_v4_masks_rgbx",
     [] {
         // A 108-byte header with the masks inside it: red in the low byte.
         std::vector<uint8_t> h = infoHeader40(2, 1, 32, 3);
         h[0] = 108;
         auto masks = le({0x000000FF, 0x0000FF00, 0x00FF0000, 0}, 4);
         h.insert(h.end(), masks.begin(), masks.end());
         h.resize(108, 0);
         return bmpFile(h, {}, {255, 0, 0, 0, 1, 2, 3, 0});
     },
     {{0xff0000, 0x010203}}},
};

void PrintTo(const BmpCase &c, std::ostream *os) { *os << c.name; }

class BmpVariantTest : public ReadTest, public ::testing::WithParamInterface<BmpCase> {};

TEST_P(BmpVariantTest, DecodesExactly)
{
    const BmpCase &c = GetParam();
    const fs::path in = path("in.bmp"), out = path("out.bmp");
    writeBytes(in, c.file());
    ASSERT_TRUE(_anytobmps(in.c_str(), out.c_str(), &info, 0, 0)) << _qz_last_error();
    QImage expected(int(c.expected[0].size()), int(c.expected.size()), QImage::Format_RGB32);
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            expected.setPixel(x, y, 0xff000000u | c.expected[size_t(y)][size_t(x)]);
    EXPECT_EQ(info.Format, QZ_FORMAT_BMP);
    EXPECT_TRUE(samePixels(expected, loadBmp(out)));
}

INSTANTIATE_TEST_SUITE_P(Variants, BmpVariantTest, ::testing::ValuesIn(bmpCases),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- JPEG specifics ----

TEST_F(ReadTest, JpegScaleCodesDecodeAtExactSizes)
{
    const fs::path in = path("p.jpg"), out = path("p.bmp");
    saveQt(pattern(301, 203), in, "JPEG", 90);
    const struct { int code, w, h; } cases[] = {{0, 301, 203}, {1, 151, 102}, {2, 76, 51}, {3, 38, 26}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        ASSERT_TRUE(_anytobmps(in.c_str(), out.c_str(), &info, 0, c.code)) << _qz_last_error();
        EXPECT_EQ(info.Width, c.w);
        EXPECT_EQ(info.Height, c.h);
        EXPECT_EQ(info.SourceWidth, 301);
        EXPECT_EQ(info.SourceHeight, 203);
        EXPECT_EQ(loadBmp(out).size(), QSize(c.w, c.h));
    }
    // The scale code means nothing to other formats.
    saveQt(pattern(301, 203), path("p.png"), "PNG");
    ASSERT_TRUE(_anytobmps(path("p.png").c_str(), out.c_str(), &info, 0, 2));
    EXPECT_EQ(info.Width, 301);
}

TEST_F(ReadTest, ExifOrientationStandsThePictureUpright)
{
    // Stored: red top-left, green top-right, blue bottom-left, white bottom-right.
    QImage stored(48, 24, QImage::Format_RGB32);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 48; ++x)
            stored.setPixel(x, y, y < 12 ? (x < 24 ? 0xffff0000 : 0xff00ff00) : (x < 24 ? 0xff0000ff : 0xffffffff));
    const QRgb R = 0xff0000, G = 0x00ff00, B = 0x0000ff, W = 0xffffff;
    const struct { int orientation; QRgb tl, tr, bl, br; } cases[] = {
        {1, R, G, B, W}, {2, G, R, W, B}, {3, W, B, G, R}, {4, B, W, R, G},
        {5, R, B, G, W}, {6, B, R, W, G}, {7, W, G, B, R}, {8, G, W, R, B},
    };
    const fs::path in = path("o.jpg"), out = path("o.bmp");
    for (const auto &c : cases) {
        SCOPED_TRACE("orientation " + std::to_string(c.orientation));
        writeBytes(in, jpegWithOrientation(stored, c.orientation));
        for (int scale : {0, 1}) {
            ASSERT_TRUE(_anytobmps(in.c_str(), out.c_str(), &info, 0, scale)) << _qz_last_error();
            const bool swapped = c.orientation >= 5;
            const int w = (swapped ? 24 : 48) >> scale, h = (swapped ? 48 : 24) >> scale;
            EXPECT_EQ(info.Width, w);
            EXPECT_EQ(info.Height, h);
            EXPECT_EQ(info.Orientation, c.orientation);
            const QImage img = loadBmp(out);
            ASSERT_EQ(img.size(), QSize(w, h));
            auto near = [](QRgb a, QRgb b) {
                return std::abs(qRed(a) - qRed(b)) < 48 && std::abs(qGreen(a) - qGreen(b)) < 48 &&
                       std::abs(qBlue(a) - qBlue(b)) < 48;
            };
            EXPECT_TRUE(near(img.pixel(2, 2), c.tl));
            EXPECT_TRUE(near(img.pixel(w - 3, 2), c.tr));
            EXPECT_TRUE(near(img.pixel(2, h - 3), c.bl));
            EXPECT_TRUE(near(img.pixel(w - 3, h - 3), c.br));
        }
    }
}

TEST_F(ReadTest, AdobeCmykJpegReadsAsRgb)
{
    // Adobe stores CMYK inverted: 255 is no ink. Red is full magenta and yellow.
    const uint8_t pixels[2 * 4] = {255, 0, 0, 255, /* red */ 255, 255, 255, 255 /* white */};
    const fs::path in = path("cmyk.jpg"), out = path("cmyk.bmp");
    FILE *f = std::fopen(in.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = 2;
    c.image_height = 1;
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    JSAMPROW row = const_cast<JSAMPROW>(pixels);
    jpeg_start_compress(&c, TRUE);
    jpeg_write_scanlines(&c, &row, 1);
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
    ASSERT_TRUE(_anytobmps(in.c_str(), out.c_str(), &info, 0, 0)) << _qz_last_error();
    EXPECT_EQ(info.BitsPerPixel, 32);
    QImage expected(2, 1, QImage::Format_RGB32);
    expected.setPixel(0, 0, qRgb(255, 0, 0));
    expected.setPixel(1, 0, qRgb(255, 255, 255));
    EXPECT_TRUE(samePixels(expected, loadBmp(out), 3));
}

// ---- PNG specifics ----

TEST_F(ReadTest, PngAlphaIsCompositedOverWhite)
{
    QImage img(3, 1, QImage::Format_ARGB32);
    img.setPixel(0, 0, qRgba(255, 0, 0, 255));
    img.setPixel(1, 0, qRgba(255, 0, 0, 128));
    img.setPixel(2, 0, qRgba(0, 0, 0, 0));
    const fs::path in = path("a.png"), out = path("a.bmp");
    saveQt(img, in, "PNG");
    ASSERT_TRUE(_anytobmps(in.c_str(), out.c_str(), &info, 0, 0)) << _qz_last_error();
    QImage expected(3, 1, QImage::Format_RGB32);
    expected.setPixel(0, 0, qRgb(255, 0, 0));
    expected.setPixel(1, 0, qRgb(255, 127, 127));
    expected.setPixel(2, 0, qRgb(255, 255, 255));
    EXPECT_TRUE(samePixels(expected, loadBmp(out), 2));
    EXPECT_EQ(info.BitsPerPixel, 32);
}

TEST_F(ReadTest, WebpAlphaIsCompositedOverWhite)
{
    QImage img(2, 1, QImage::Format_ARGB32);
    img.setPixel(0, 0, qRgba(0, 0, 255, 255));
    img.setPixel(1, 0, qRgba(0, 0, 0, 0));
    const fs::path in = path("a.webp"), out = path("a.bmp");
    saveWebp(img, in, true, true);
    ASSERT_TRUE(_anytobmps(in.c_str(), out.c_str(), &info, 0, 0)) << _qz_last_error();
    QImage expected(2, 1, QImage::Format_RGB32);
    expected.setPixel(0, 0, qRgb(0, 0, 255));
    expected.setPixel(1, 0, qRgb(255, 255, 255));
    EXPECT_TRUE(samePixels(expected, loadBmp(out)));
}

// ---- palette and grey outputs ----

TEST_F(ReadTest, Anyto256KeepsAFewColourPictureExactly)
{
    const QImage source = fewColours(40, 30);
    const fs::path in = path("f.png"), out = path("f.bmp");
    saveQt(source, in, "PNG");
    ASSERT_TRUE(_anyto256(in.c_str(), out.c_str(), &info, 0, 0)) << _qz_last_error();
    const QImage result = loadBmp(out);
    EXPECT_EQ(result.format(), QImage::Format_Indexed8);
    EXPECT_LE(info.Colors, 256);
    EXPECT_GE(info.Colors, 12);
    EXPECT_EQ(info.Width, 40);
    EXPECT_TRUE(samePixels(source, result));
}

TEST_F(ReadTest, Anyto256ApproximatesAPhotoWell)
{
    const QImage source = pattern(128, 96);
    const fs::path in = path("p.png"), out = path("p.bmp");
    saveQt(source, in, "PNG");
    ASSERT_TRUE(_anyto256(in.c_str(), out.c_str(), &info, 0, 0)) << _qz_last_error();
    const QImage result = loadBmp(out);
    EXPECT_EQ(result.format(), QImage::Format_Indexed8);
    EXPECT_LE(info.Colors, 256);
    EXPECT_LT(meanDifference(source, result), 6.0);
}

TEST_F(ReadTest, AnytogreyWritesLuma)
{
    const QImage source = pattern(32, 16);
    const fs::path in = path("g.png"), out = path("g.bmp");
    saveQt(source, in, "PNG");
    ASSERT_TRUE(_anytogrey(in.c_str(), out.c_str(), &info, 0, 0)) << _qz_last_error();
    const QImage result = loadBmp(out);
    EXPECT_EQ(result.format(), QImage::Format_Indexed8);
    EXPECT_EQ(info.Colors, 256);
    QImage expected(source.size(), QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            QRgb p = source.pixel(x, y);
            int l = (77 * qRed(p) + 150 * qGreen(p) + 29 * qBlue(p) + 128) >> 8;
            expected.setPixel(x, y, qRgb(l, l, l));
        }
    EXPECT_TRUE(samePixels(expected, result, 1));
}

TEST_F(ReadTest, PicValidAnswersFromTheHeaderAlone)
{
    // A PNG cut off inside its pixel data: the header is sound, the pixels are not.
    const fs::path whole = path("w.png"), cut = path("c.png");
    saveQt(pattern(200, 200), whole, "PNG");
    auto bytes = readBytes(whole);
    bytes.resize(bytes.size() / 2);
    writeBytes(cut, bytes);
    EXPECT_TRUE(_Pic_Valid(cut.c_str()));
    EXPECT_FALSE(_anytobmps(cut.c_str(), path("o.bmp").c_str(), &info, 0, 0));
    EXPECT_FALSE(fs::exists(path("o.bmp")));
}

TEST_F(ReadTest, PhotoCdIsRecognisedButRefused)
{
    std::vector<uint8_t> pcd(4096, 0);
    std::memcpy(pcd.data() + 2048, "PCD_IPI", 7);
    writeBytes(path("p.pcd"), pcd);
    EXPECT_FALSE(_Pic_Valid(path("p.pcd").c_str()));
    EXPECT_FALSE(_anytobmps(path("p.pcd").c_str(), path("o.bmp").c_str(), &info, 3, 0));
    EXPECT_NE(std::string(_qz_last_error()).find("Photo CD"), std::string::npos);
}

}  // namespace
