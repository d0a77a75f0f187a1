// Writing: JPEG output, crops, the atomic replacement of destinations and
// the memory of the working bitmap.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "fixtures.h"
#include "testenv.h"

using namespace fixtures;

namespace {

class WriteTest : public IsolatedTest {
protected:
    fs::path path(const std::string &name) const { return env_.tmp() / name; }
    // A working bitmap written by the library, as the program makes it.
    fs::path workingBitmap(const QImage &img)
    {
        const fs::path png = path("source.png"), bmp = path("work.bmp");
        saveQt(img, png, "PNG");
        EXPECT_TRUE(_anytobmps(png.c_str(), bmp.c_str(), &info, 0, 0)) << _qz_last_error();
        return bmp;
    }
    ImageInfo info{};
};

struct JpegFacts {
    bool progressive = true;
    int components = 0;
    int hsamp[3] = {}, vsamp[3] = {};
    int width = 0, height = 0;
};

JpegFacts jpegFacts(const fs::path &file)
{
    JpegFacts f;
    auto bytes = readBytes(file);
    jpeg_decompress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&c, TRUE);
    f.progressive = c.progressive_mode;
    f.components = c.num_components;
    for (int i = 0; i < 3 && i < c.num_components; ++i) {
        f.hsamp[i] = c.comp_info[i].h_samp_factor;
        f.vsamp[i] = c.comp_info[i].v_samp_factor;
    }
    f.width = int(c.image_width);
    f.height = int(c.image_height);
    jpeg_destroy_decompress(&c);
    return f;
}

TEST_F(WriteTest, JpegIsBaselineFourTwoZeroAndShrinksWithQuality)
{
    const QImage source = pattern(160, 120);
    const fs::path bmp = workingBitmap(source);
    uintmax_t previous = UINTMAX_MAX;
    for (int q : {95, 80, 60, 40, 20, 5}) {
        SCOPED_TRACE(q);
        const fs::path out = path("q" + std::to_string(q) + ".jpg");
        ASSERT_TRUE(_bmptoanys(bmp.c_str(), out.c_str(), &info, QZ_FORMAT_JPEG, q)) << _qz_last_error();
        const uintmax_t size = fs::file_size(out);
        EXPECT_EQ(info.FileSize, int32_t(size));
        EXPECT_EQ(info.Quality, q);
        EXPECT_LT(size, previous);
        previous = size;
        const JpegFacts f = jpegFacts(out);
        EXPECT_FALSE(f.progressive);
        EXPECT_EQ(f.components, 3);
        EXPECT_EQ(f.hsamp[0], 2);
        EXPECT_EQ(f.vsamp[0], 2);
        EXPECT_EQ(f.hsamp[1], 1);
        EXPECT_EQ(f.vsamp[2], 1);
        EXPECT_EQ(f.width, 160);
    }
    // High quality stays closer to the source than low quality.
    const double high = meanDifference(source, QImage(QString::fromStdString(path("q95.jpg").string())));
    const double low = meanDifference(source, QImage(QString::fromStdString(path("q5.jpg").string())));
    EXPECT_LT(high, 10.0);
    EXPECT_LT(high, low);
}

TEST_F(WriteTest, JpegHuffmanTablesAreOptimised)
{
    // An optimised file is smaller than the same encode with the standard tables.
    const QImage source = pattern(200, 150);
    const fs::path bmp = workingBitmap(source), out = path("o.jpg");
    ASSERT_TRUE(_bmptoanys(bmp.c_str(), out.c_str(), &info, QZ_FORMAT_JPEG, 75));
    QImage rgb = source.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = 200;
    c.image_height = 150;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 75, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(int(c.next_scanline)));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    EXPECT_LT(fs::file_size(out), size);
    std::free(buf);
}

TEST_F(WriteTest, OtherOutputFormatsRoundTrip)
{
    const QImage source = pattern(33, 17);
    const fs::path bmp = workingBitmap(source);
    const struct { int code; const char *name; } cases[] = {
        {QZ_FORMAT_BMP, "o.bmp"}, {QZ_FORMAT_PNG, "o.png"}, {QZ_FORMAT_PNM, "o.ppm"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(_bmptoanys(bmp.c_str(), path(c.name).c_str(), &info, c.code, 50)) << _qz_last_error();
        EXPECT_TRUE(samePixels(source, QImage(QString::fromStdString(path(c.name).string()))));
    }
    EXPECT_FALSE(_bmptoanys(bmp.c_str(), path("o.gif").c_str(), &info, QZ_FORMAT_GIF, 50));
    EXPECT_NE(std::string(_qz_last_error()).find("unsupported output format"), std::string::npos);
    EXPECT_FALSE(fs::exists(path("o.gif")));
}

// ---- crop ----

struct CropCase {
    const char *name;
    int x, y, w, h;
    QRect expected;  // the clipped rectangle
};

void PrintTo(const CropCase &c, std::ostream *os) { *os << c.name; }

class CropTest : public WriteTest, public ::testing::WithParamInterface<CropCase> {};

TEST_P(CropTest, WritesTheClippedRectangleExactly)
{
    const CropCase &c = GetParam();
    const QImage source = pattern(50, 40);
    const fs::path bmp = workingBitmap(source), out = path("crop.bmp");
    ASSERT_TRUE(_bmpcrop(bmp.c_str(), out.c_str(), &info, c.x, c.y, c.w, c.h)) << _qz_last_error();
    EXPECT_EQ(info.Width, c.expected.width());
    EXPECT_EQ(info.Height, c.expected.height());
    EXPECT_TRUE(samePixels(source.copy(c.expected), loadBmp(out)));
}

INSTANTIATE_TEST_SUITE_P(Rectangles, CropTest,
                         ::testing::Values(CropCase{"inside", 5, 7, 20, 10, QRect(5, 7, 20, 10)},
                                           CropCase{"whole", 0, 0, 50, 40, QRect(0, 0, 50, 40)},
                                           CropCase{"one_pixel", 49, 39, 1, 1, QRect(49, 39, 1, 1)},
                                           CropCase{"past_right_bottom", 40, 30, 100, 100, QRect(40, 30, 10, 10)},
                                           CropCase{"before_left_top", -5, -8, 15, 18, QRect(0, 0, 10, 10)},
                                           CropCase{"overflowing_int", 10, 10, INT32_MAX, INT32_MAX, QRect(10, 10, 40, 30)}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(WriteTest, CropOntoItselfThenEncodesTheCroppedPicture)
{
    const QImage source = pattern(64, 48);
    const fs::path bmp = workingBitmap(source);
    ASSERT_TRUE(_bmptoanys(bmp.c_str(), path("before.jpg").c_str(), &info, QZ_FORMAT_JPEG, 50));
    ASSERT_TRUE(_bmpcrop(bmp.c_str(), bmp.c_str(), &info, 8, 4, 30, 20)) << _qz_last_error();
    EXPECT_TRUE(samePixels(source.copy(8, 4, 30, 20), loadBmp(bmp)));
    // The later writes see the cropped picture, not the remembered old one.
    ASSERT_TRUE(_bmptoanys(bmp.c_str(), path("after.png").c_str(), &info, QZ_FORMAT_PNG, 50));
    EXPECT_TRUE(samePixels(source.copy(8, 4, 30, 20), QImage(QString::fromStdString(path("after.png").string()))));
    EXPECT_EQ(jpegFacts(path("before.jpg")).width, 64);
    // And a second crop of the cropped file.
    ASSERT_TRUE(_bmpcrop(bmp.c_str(), bmp.c_str(), &info, 1, 1, 5, 5));
    EXPECT_TRUE(samePixels(source.copy(9, 5, 5, 5), loadBmp(bmp)));
}

TEST_F(WriteTest, EmptyCropFailsAndLeavesTheDestination)
{
    const fs::path bmp = workingBitmap(pattern(20, 10)), out = path("keep.bmp");
    writeBytes(out, {'o', 'l', 'd'});
    const struct { int x, y, w, h; } cases[] = {{20, 0, 5, 5}, {0, 10, 5, 5}, {-10, 0, 10, 5},
                                                 {0, 0, 0, 5}, {0, 0, 5, -1}, {INT32_MIN, INT32_MIN, 5, 5}};
    for (const auto &c : cases) {
        EXPECT_FALSE(_bmpcrop(bmp.c_str(), out.c_str(), &info, c.x, c.y, c.w, c.h));
        EXPECT_NE(std::string(_qz_last_error()).find("empty crop"), std::string::npos);
        EXPECT_EQ(readBytes(out), (std::vector<uint8_t>{'o', 'l', 'd'}));
    }
    EXPECT_FALSE(_bmpcrop(bmp.c_str(), bmp.c_str(), &info, 30, 30, 5, 5));
    EXPECT_EQ(loadBmp(bmp).size(), QSize(20, 10));
}

// ---- atomic writes ----

TEST_F(WriteTest, SymbolicLinkAtTheDestinationIsReplacedNotFollowed)
{
    const fs::path bmp = workingBitmap(pattern(16, 16));
    const fs::path victim = path("victim.txt"), link = path("out.jpg");
    writeBytes(victim, {'k', 'e', 'e', 'p'});
    fs::create_symlink(victim, link);
    ASSERT_TRUE(_bmptoanys(bmp.c_str(), link.c_str(), &info, QZ_FORMAT_JPEG, 50)) << _qz_last_error();
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(readBytes(victim), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(jpegFacts(link).width, 16);
}

TEST_F(WriteTest, FailureLeavesTheDestinationAndNoTemporaryFiles)
{
    const fs::path out = path("out.bmp");
    writeBytes(out, {'o', 'l', 'd'});
    writeBytes(path("junk.dat"), {1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_FALSE(_anytobmps(path("junk.dat").c_str(), out.c_str(), &info, 0, 0));
    EXPECT_STREQ(_qz_last_error(), "unsupported format");
    EXPECT_FALSE(_anytobmps(path("missing.png").c_str(), out.c_str(), &info, 0, 0));
    EXPECT_NE(std::string(_qz_last_error()).find("No such file"), std::string::npos);
    EXPECT_EQ(readBytes(out), (std::vector<uint8_t>{'o', 'l', 'd'}));
    // A destination that is a folder cannot be replaced.
    fs::create_directory(path("folder"));
    const fs::path bmp = workingBitmap(pattern(8, 8));
    EXPECT_FALSE(_bmptoanys(bmp.c_str(), path("folder").c_str(), &info, QZ_FORMAT_JPEG, 50));
    EXPECT_TRUE(fs::is_directory(path("folder")));
    for (const auto &entry : fs::directory_iterator(env_.tmp()))
        EXPECT_EQ(entry.path().filename().string().find(".qzgfx-"), std::string::npos) << entry.path();
}

TEST_F(WriteTest, UnwritableFolderNamesTheFileAndTheReason)
{
    const fs::path bmp = workingBitmap(pattern(8, 8));
    const fs::path locked = path("locked");
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(env_.tmp(), fs::perms::others_exec | fs::perms::others_read, fs::perm_options::add);
    fs::permissions(env_.root(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(bmp, fs::perms::others_read, fs::perm_options::add);
    const std::string dest = (locked / "out.jpg").string();
    // Root ignores permission bits: the write is tried as nobody in a child.
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(pipefd[0]);
        if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        ImageInfo i{};
        int ok = _bmptoanys(bmp.c_str(), dest.c_str(), &i, QZ_FORMAT_JPEG, 50);
        const char *e = _qz_last_error();
        ssize_t n = write(pipefd[1], e, std::strlen(e));
        _exit(ok ? 1 : n >= 0 ? 0 : 3);
    }
    close(pipefd[1]);
    char text[512] = {};
    ssize_t n = read(pipefd[0], text, sizeof text - 1);
    close(pipefd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "cannot become an unprivileged user";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_GT(n, 0);
    EXPECT_EQ(std::string(text), "cannot write " + dest + ": Permission denied");
    EXPECT_FALSE(fs::exists(dest));
}

// ---- the remembered working bitmap ----

TEST_F(WriteTest, ABitmapChangedBehindTheLibraryIsReadAgain)
{
    const fs::path bmp = workingBitmap(pattern(24, 24));
    ASSERT_TRUE(_bmptoanys(bmp.c_str(), path("a.png").c_str(), &info, QZ_FORMAT_PNG, 50));
    // Rewrite the same file in place, same size, other pixels.
    const QImage other = fewColours(24, 24);
    const fs::path tmp = path("other.bmp");
    saveQt(other.convertToFormat(QImage::Format_RGB888), tmp, "BMP");
    auto bytes = readBytes(tmp);
    ASSERT_EQ(bytes.size(), fs::file_size(bmp));
    {
        int fd = open(bmp.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        close(fd);
    }
    // Make sure the clock moved even on coarse-timestamp file systems.
    struct timespec later[2] = {{0, UTIME_OMIT}, {time(nullptr) + 5, 0}};
    utimensat(AT_FDCWD, bmp.c_str(), later, 0);
    ASSERT_TRUE(_bmptoanys(bmp.c_str(), path("b.png").c_str(), &info, QZ_FORMAT_PNG, 50));
    EXPECT_TRUE(samePixels(other, QImage(QString::fromStdString(path("b.png").string()))));
}

}  // namespace
