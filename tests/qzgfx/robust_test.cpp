// Hostile input: size limits from the header, truncated and corrupt files
// of every format, and calls from several threads at once.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "fixtures.h"
#include "testenv.h"

using namespace fixtures;

extern "C" {
size_t qzgfx_c_sizeof_imageinfo(void);
size_t qzgfx_c_offsetof_readflags(void);
size_t qzgfx_c_offsetof_filesize(void);
TAnyToBmp qzgfx_c_anytobmps(void);
}

namespace {

class RobustTest : public IsolatedTest {
protected:
    fs::path path(const std::string &name) const { return env_.tmp() / name; }
    ImageInfo info{};
};

TEST(HeaderAsC, HasTheSameLayoutInC)
{
    EXPECT_EQ(qzgfx_c_sizeof_imageinfo(), 1024u);
    EXPECT_EQ(qzgfx_c_offsetof_readflags(), 892u);
    EXPECT_EQ(qzgfx_c_offsetof_filesize(), 44u);
    EXPECT_EQ(qzgfx_c_anytobmps(), &_anytobmps);
}

// Headers that claim huge pictures, with no pixel data behind them: refused
// from the header, before anything is allocated for them.
TEST_F(RobustTest, OversizedPicturesAreRefusedFromTheHeader)
{
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                0, 1, 0x11, 0x70, 0, 1, 0x11, 0x70, 8, 2, 0, 0, 0, 0, 0, 0, 0};
    const struct { const char *name; std::vector<uint8_t> bytes; const char *reason; } cases[] = {
        {"bmp_wide", bmpFile(infoHeader40(70000, 1, 24, 0), {}, {0, 0, 0, 0}), "picture too large: 70000 x 1"},
        {"bmp_area", bmpFile(infoHeader40(65535, -65535, 24, 0), {}, {0}), "picture too large: 65535 x 65535"},
        {"bmp_zero", bmpFile(infoHeader40(0, 5, 24, 0), {}, {0}), "invalid picture size: 0 x 5"},
        {"png", png, "picture too large: 70000 x 70000"},
        {"pnm", {'P', '6', '\n', '7', '0', '0', '0', '0', ' ', '2', '\n', '2', '5', '5', '\n', 0}, "picture too large: 70000 x 2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path in = path(c.name);
        writeBytes(in, c.bytes);
        EXPECT_FALSE(_Pic_Valid(in.c_str()));
        EXPECT_STREQ(_qz_last_error(), c.reason);
        EXPECT_FALSE(_anytobmps(in.c_str(), path("o.bmp").c_str(), &info, 0, 0));
        EXPECT_STREQ(_qz_last_error(), c.reason);
    }
    // A JPEG header too: a real file, its size fields raised.
    saveQt(pattern(16, 16), path("j.jpg"), "JPEG");
    auto jpeg = readBytes(path("j.jpg"));
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = 0xFF;  // height 65280 + 16
            jpeg[i + 7] = 0xFF;  // width
            break;
        }
    writeBytes(path("big.jpg"), jpeg);
    EXPECT_FALSE(_anytobmps(path("big.jpg").c_str(), path("o.bmp").c_str(), &info, 0, 0));
    EXPECT_STREQ(_qz_last_error(), "picture too large: 65296 x 65296");
    EXPECT_FALSE(fs::exists(path("o.bmp")));
}

TEST_F(RobustTest, TheAreaLimitFollowsTheEnvironment)
{
    const fs::path in = path("p.png");
    saveQt(pattern(20, 10), in, "PNG");
    setenv("QZGFX_MAX_PIXELS", "199", 1);
    EXPECT_FALSE(_Pic_Valid(in.c_str()));
    EXPECT_STREQ(_qz_last_error(), "picture too large: 20 x 10");
    setenv("QZGFX_MAX_PIXELS", "200", 1);
    EXPECT_TRUE(_anytobmps(in.c_str(), path("o.bmp").c_str(), &info, 0, 0)) << _qz_last_error();
    setenv("QZGFX_MAX_PIXELS", "nonsense", 1);  // ignored: the default applies
    EXPECT_TRUE(_Pic_Valid(in.c_str()));
    unsetenv("QZGFX_MAX_PIXELS");
}

// Each format's fixture cut short at several points, and with its middle
// overwritten: every call returns false or a picture, never crashes or hangs.
TEST_F(RobustTest, TruncatedAndCorruptFilesFailCleanly)
{
    const QImage img = pattern(96, 64), few = fewColours(96, 64);
    std::vector<std::pair<std::string, fs::path>> files;
    auto add = [&](const std::string &name) {
        files.emplace_back(name, path(name));
        return path(name);
    };
    saveQt(img, add("p.jpg"), "JPEG", 90);
    saveQt(img, add("p.png"), "PNG");
    saveQt(img, add("p.bmp"), "BMP");
    saveQt(img, add("p.ppm"), "PPM");
    saveTiff(img, add("p.tif"));
    saveGif(few, add("p.gif"));
    saveWebp(img, add("p.webp"), false);
    if (saveHeif(img, path("p.heic"), false))
        files.emplace_back("p.heic", path("p.heic"));
    writeBytes(add("rle8.bmp"), bmpFile(infoHeader40(6, 2, 8, 1, 2), std::vector<uint8_t>(8, 0x80),
                                        {3, 1, 0, 3, 1, 1, 0, 0, 0, 0, 6, 0, 0, 1}));
    for (const auto &[name, file] : files) {
        SCOPED_TRACE(name);
        const auto whole = readBytes(file);
        ASSERT_TRUE(_anytobmps(file.c_str(), path("ok.bmp").c_str(), &info, 0, 0)) << _qz_last_error();
        for (double keep : {0.0, 0.01, 0.3, 0.6, 0.95}) {
            // At least one byte, never all of them.
            const size_t n = std::clamp<size_t>(size_t(double(whole.size()) * keep), 1, whole.size() - 1);
            const std::vector<uint8_t> cut(whole.begin(), whole.begin() + long(n));
            writeBytes(path("cut"), cut);
            EXPECT_FALSE(_anytobmps(path("cut").c_str(), path("cut.bmp").c_str(), &info, 0, 0))
                << "kept " << cut.size() << " of " << whole.size();
            EXPECT_NE(std::string(_qz_last_error()), "");
            EXPECT_FALSE(fs::exists(path("cut.bmp")));
        }
        // Garbage over the second quarter: failing is fine, crashing is not.
        std::vector<uint8_t> bad = whole;
        for (size_t i = bad.size() / 4; i < bad.size() / 2; ++i)
            bad[i] = uint8_t(i * 7919);
        writeBytes(path("bad"), bad);
        (void)_anytobmps(path("bad").c_str(), path("bad.bmp").c_str(), &info, 0, 0);
        (void)_anyto256(path("bad").c_str(), path("bad.bmp").c_str(), &info, 0, 1);
    }
    // Naming the cause where it is known.
    auto jpeg = readBytes(path("p.jpg"));
    jpeg.resize(jpeg.size() * 2 / 3);
    writeBytes(path("t.jpg"), jpeg);
    EXPECT_FALSE(_anytobmps(path("t.jpg").c_str(), path("t.bmp").c_str(), &info, 0, 0));
    EXPECT_STREQ(_qz_last_error(), "truncated JPEG data");
    EXPECT_FALSE(_bmptoanys(path("t.jpg").c_str(), path("t2.jpg").c_str(), &info, QZ_FORMAT_JPEG, 50));
    EXPECT_STREQ(_qz_last_error(), "truncated JPEG data");
}

TEST_F(RobustTest, EmptyAndMissingNamesFail)
{
    EXPECT_FALSE(_Pic_Valid(""));
    EXPECT_FALSE(_Pic_Valid(nullptr));
    EXPECT_FALSE(_anytobmps("", "", &info, 0, 0));
    EXPECT_FALSE(_Pic_Valid(env_.tmp().c_str()));  // a folder
    writeBytes(path("empty"), {});
    EXPECT_FALSE(_Pic_Valid(path("empty").c_str()));
    saveQt(pattern(4, 4), path("p.png"), "PNG");
    EXPECT_FALSE(_anytobmps(path("p.png").c_str(), "", &info, 0, 0));
    EXPECT_TRUE(_anytobmps(path("p.png").c_str(), path("p.bmp").c_str(), nullptr, 0, 0));
}

// Several threads at once, each with its own files; each thread's error
// text is its own.
TEST_F(RobustTest, CallsFromSeveralThreadsAtOnce)
{
    saveQt(pattern(120, 90), path("src.jpg"), "JPEG", 90);
    saveQt(pattern(120, 90), path("src.png"), "PNG");
    saveTiff(pattern(120, 90), path("src.tif"));
    writeBytes(path("junk"), {'n', 'o', 'p', 'e'});
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            const char *sources[] = {"src.jpg", "src.png", "src.tif"};
            for (int i = 0; i < 8; ++i) {
                const std::string n = std::to_string(t) + "_" + std::to_string(i);
                const fs::path bmp = path("w" + n + ".bmp");
                ImageInfo inf{};
                if (!_anytobmps(path(sources[(t + i) % 3]).c_str(), bmp.c_str(), &inf, 0, i % 3) ||
                    !_bmptoanys(bmp.c_str(), path("j" + n + ".jpg").c_str(), &inf, QZ_FORMAT_JPEG, 10 + i * 10) ||
                    !_bmpcrop(bmp.c_str(), bmp.c_str(), &inf, 1, 1, 20, 20) || inf.Width != 20)
                    ++failures;
                if (_anytobmps(path("junk").c_str(), bmp.c_str(), &inf, 0, 0) ||
                    std::strcmp(_qz_last_error(), "unsupported format") != 0)
                    ++failures;
                if (!_Pic_Valid(bmp.c_str()) || std::strcmp(_qz_last_error(), "") != 0)
                    ++failures;
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace


namespace {

TEST_F(RobustTest, AFileTooLargeForAnyPictureIsNotRead)
{
    // With an area limit of 100 pixels no picture file needs 70 MB.
    const fs::path big = path("big.bmp");
    {
        std::ofstream out(big, std::ios::binary);
        out << "BM";
        out.seekp((70 << 20) - 1);
        out.put('\0');
    }
    setenv("QZGFX_MAX_PIXELS", "100", 1);
    EXPECT_FALSE(_Pic_Valid(big.c_str()));
    EXPECT_NE(std::string(_qz_last_error()).find("file too large"), std::string::npos) << _qz_last_error();
    unsetenv("QZGFX_MAX_PIXELS");
}

}  // namespace
