// The ladder's parts called directly: scores, the window's sizes, searches,
// option parsing, JSON text and the no-overwrite copy.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "graphics.h"
#include "ladder.h"
#include "luma.h"
#include "options.h"
#include "output.h"
#include "pool.h"
#include "report.h"
#include "ssim.h"
#include "testenv.h"

namespace fs = std::filesystem;
using namespace ladder;
using namespace ladder_test;

namespace {

LumaPlane randomPlane(int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    LumaPlane p;
    p.width = w;
    p.height = h;
    p.pixels.resize(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.row(y)[x] = float(int(127 + 100 * std::sin(x * 0.2 + y * 0.05)) + int(rng() % 21) - 10);
    return p;
}

// SSIM as the paper writes it: an 11 x 11 Gaussian window at every position
// that fits, in double precision, nothing clever.
double referenceSsim(const LumaPlane &a, const LumaPlane &b)
{
    double g[11][11], sum = 0;
    for (int i = 0; i < 11; ++i)
        for (int j = 0; j < 11; ++j)
            sum += g[i][j] = std::exp(-((i - 5) * (i - 5) + (j - 5) * (j - 5)) / (2 * 1.5 * 1.5));
    const double c1 = 6.5025, c2 = 58.5225;
    double total = 0;
    for (int y = 0; y + 11 <= a.height; ++y)
        for (int x = 0; x + 11 <= a.width; ++x) {
            double ma = 0, mb = 0, saa = 0, sbb = 0, sab = 0;
            for (int i = 0; i < 11; ++i)
                for (int j = 0; j < 11; ++j) {
                    const double w = g[i][j] / sum, va = a.row(y + i)[x + j], vb = b.row(y + i)[x + j];
                    ma += w * va;
                    mb += w * vb;
                    saa += w * va * va;
                    sbb += w * vb * vb;
                    sab += w * va * vb;
                }
            saa -= ma * ma;
            sbb -= mb * mb;
            sab -= ma * mb;
            total += (2 * ma * mb + c1) * (2 * sab + c2) / ((ma * ma + mb * mb + c1) * (saa + sbb + c2));
        }
    return total / (double(a.height - 10) * double(a.width - 10));
}

// The window's steps for one picture: one record for every call, each file
// measured by opening it and seeking to its end.
std::vector<long> windowSizes(const std::string &picture, const std::string &folder, const std::vector<int> &qualities)
{
    ImageInfo current{};
    std::vector<std::string> names;
    for (int i = 0; i < 10; ++i) {
        char name[256];
        std::snprintf(name, sizeof name, "%s/temp%02d.jpg", folder.c_str(), i);
        names.push_back(name);
    }
    _anytobmps(picture.c_str(), names[8].c_str(), &current, 0, 0);
    std::vector<long> sizes;
    for (size_t i = 0; i < qualities.size(); ++i) {
        const std::string &file = names[i % 8];
        _bmptoanys(names[8].c_str(), file.c_str(), &current, 2, qualities[i]);
        long size = 0;
        if (FILE *f = std::fopen(file.c_str(), "rb")) {
            std::fseek(f, 0, SEEK_END);
            size = std::ftell(f);
            std::fclose(f);
        }
        sizes.push_back(size);
    }
    return sizes;
}

class LadderTest : public IsolatedTest {
protected:
    std::string path(const std::string &name) const { return (env_.root() / name).string(); }
    ThreadPool pool_{2};
};

}  // namespace

TEST(Ssim, PictureAgainstItselfIsOneAndMatchesThePaper)
{
    // Float arithmetic: within 1e-6 of 1, and within 1e-5 of the paper's
    // formula in double precision, far below the four decimals shown.
    const LumaPlane a = randomPlane(97, 53, 1);
    EXPECT_NEAR(ssim(a, a), 1.0, 1e-6);
    LumaPlane b = a;
    for (size_t i = 0; i < b.pixels.size(); i += 3)
        b.pixels[i] = std::min(255.0f, b.pixels[i] + 25);
    const double fast = ssim(a, b);
    EXPECT_NEAR(fast, referenceSsim(a, b), 2e-5);
    EXPECT_LT(fast, 0.99);
    // Flat planes are where float loses most to cancellation.
    LumaPlane flat = a, flat2 = a;
    std::fill(flat.pixels.begin(), flat.pixels.end(), 250.0f);
    std::fill(flat2.pixels.begin(), flat2.pixels.end(), 249.0f);
    EXPECT_NEAR(ssim(flat, flat2), referenceSsim(flat, flat2), 1e-5);
}

TEST(Ssim, SplittingOverThreadsChangesNothing)
{
    const LumaPlane a = randomPlane(300, 400, 2), b = randomPlane(300, 400, 3);
    ThreadPool pool(3);
    const double serial = ssim(a, b);
    const double parallel = ssim(a, b, [&](int n, const std::function<void(int)> &body) { parallelFor(pool, n, body); });
    EXPECT_EQ(serial, parallel);
}

TEST(Ssim, UndefinedForMismatchedOrTinyPlanes)
{
    EXPECT_TRUE(std::isnan(ssim(randomPlane(20, 20, 1), randomPlane(20, 21, 1))));
    EXPECT_TRUE(std::isnan(ssim(randomPlane(10, 40, 1), randomPlane(10, 40, 1))));
    EXPECT_TRUE(std::isinf(psnr(randomPlane(5, 5, 1), randomPlane(5, 5, 1))));
    EXPECT_TRUE(std::isnan(psnr(randomPlane(5, 5, 1), randomPlane(6, 5, 1))));
}

TEST_F(LadderTest, ScoresRiseWithQualityAndStayBelowOne)
{
    const std::string pic = path("photo.png");
    writePhoto(pic, QZ_FORMAT_PNG, 240, 160);
    PictureLadder lad(pool_, pic, path("w"), true);
    lad.open();
    lad.evaluate({10, 30, 50, 70, 90});
    const auto rungs = lad.rungs();
    ASSERT_EQ(rungs.size(), 5u);
    for (size_t i = 0; i < rungs.size(); ++i) {
        SCOPED_TRACE("quality " + std::to_string(rungs[i].quality));
        EXPECT_GT(rungs[i].ssim, 0.3);
        EXPECT_LT(rungs[i].ssim, 1.0);
        if (i) {
            EXPECT_GT(rungs[i].ssim, rungs[i - 1].ssim);
            EXPECT_GT(rungs[i].psnr, rungs[i - 1].psnr);
            EXPECT_GT(rungs[i].size, rungs[i - 1].size);
        }
    }
    // The source's luma against the decoded source's luma: the same plane.
    const LumaPlane src = readBitmapLuma(lad.bitmapFile());
    EXPECT_NEAR(ssim(src, src), 1.0, 1e-6);
}

TEST_F(LadderTest, SizesAreTheWindowsForEverySourceFormat)
{
    for (int format : {QZ_FORMAT_JPEG, QZ_FORMAT_PNG, QZ_FORMAT_BMP}) {
        SCOPED_TRACE("format " + std::to_string(format));
        const std::string pic = path("photo" + std::to_string(format));
        writePhoto(pic, format, 203, 151, unsigned(format));
        fs::create_directories(path("window"));
        const std::vector<int> all = allQualities();
        const std::vector<long> window = windowSizes(pic, path("window"), all);
        PictureLadder lad(pool_, pic, path("w"), false);
        lad.open();
        lad.evaluate(all);
        const auto rungs = lad.rungs();
        ASSERT_EQ(rungs.size(), all.size());
        for (size_t i = 0; i < all.size(); ++i) {
            ASSERT_GT(window[i], 0);
            EXPECT_EQ(rungs[i].size, window[i]) << "quality " << all[i];
        }
    }
}

TEST_F(LadderTest, SearchesAgreeWithTheFullLadder)
{
    const std::string pic = path("photo.jpg");
    writePhoto(pic, QZ_FORMAT_JPEG, 160, 120, 5);
    PictureLadder full(pool_, pic, path("full"), true);
    full.open();
    full.evaluate(allQualities());
    const auto sweep = full.rungs();
    // Sizes grow with quality on photos, and on this fixture.
    for (size_t i = 1; i < sweep.size(); ++i)
        ASSERT_GE(sweep[i].size, sweep[i - 1].size) << "the fixture's sizes must grow with quality";
    auto at = [&](int q) { return sweep[size_t(q - kMinQuality)]; };
    auto expectedWithin = [&](int64_t budget) {
        int best = 0;
        for (const Rung &r : sweep)
            if (r.size <= budget)
                best = r.quality;
        return best;
    };
    const int64_t lo = sweep.front().size, hi = sweep.back().size, mid = sweep[40].size;
    for (int64_t budget : {lo - 1, lo, lo + 1, mid - 1, mid, (lo + hi) / 2, hi - 1, hi, hi * 2}) {
        PictureLadder lad(pool_, pic, path("s"), false);
        lad.open();
        EXPECT_EQ(lad.highestWithin(budget), expectedWithin(budget)) << "budget " << budget;
        EXPECT_LT(lad.rungs().size(), 20u) << "a search, not a sweep";
    }
    // SSIM wavers by a few 1e-4 between neighbouring qualities. The search
    // always lands where the floor is crossed upwards, and where the ladder
    // crosses the floor only once that is the lowest quality reaching it.
    auto crossings = [&](double floor) {
        int n = 0;
        for (size_t i = 1; i < sweep.size(); ++i)
            n += (sweep[i - 1].ssim >= floor) != (sweep[i].ssim >= floor);
        return n;
    };
    auto expectedReaching = [&](double floor) {
        for (const Rung &r : sweep)
            if (r.ssim >= floor)
                return r.quality;
        return 0;
    };
    int uniqueChecked = 0;
    for (double floor : {0.0001, sweep[0].ssim, sweep[10].ssim, sweep[30].ssim, sweep[30].ssim + 1e-9,
                         sweep[60].ssim, sweep[90].ssim, 0.99999}) {
        SCOPED_TRACE("floor " + std::to_string(floor));
        PictureLadder lad(pool_, pic, path("f"), true);
        lad.open();
        const int q = lad.lowestReaching(floor);
        if (q) {
            EXPECT_GE(at(q).ssim, floor);
            if (q > kMinQuality) {
                EXPECT_LT(at(q - 1).ssim, floor);
            }
        } else {
            EXPECT_LT(sweep.back().ssim, floor);
        }
        if (crossings(floor) <= 1) {
            EXPECT_EQ(q, expectedReaching(floor));
            ++uniqueChecked;
        }
    }
    EXPECT_GE(uniqueChecked, 4);
    // Both: the lowest quality reaching the floor, if the budget holds it.
    PictureLadder lad(pool_, pic, path("b"), true);
    lad.open();
    Target t;
    t.minSsim = 0.0001;
    t.maxSize = sweep[50].size;
    EXPECT_EQ(lad.find(t).quality, kMinQuality);
    t.minSsim = sweep.back().ssim + 1e-3;
    EXPECT_EQ(lad.find(t).quality, 0) << "no quality reaches the floor";
    double bestUpTo59 = 0;
    for (int q = kMinQuality; q <= 59; ++q)
        bestUpTo59 = std::max(bestUpTo59, at(q).ssim);
    t.minSsim = bestUpTo59 + 1e-7;
    t.maxSize = at(59).size;
    const TargetResult none = lad.find(t);
    EXPECT_EQ(none.quality, 0) << "the floor is reached only above the budget";
    EXPECT_GE(none.lowestReachingSsim, 60);
    EXPECT_EQ(none.highestWithinSize, expectedWithin(t.maxSize));
    t.maxSize = at(95).size;
    const TargetResult met = lad.find(t);
    EXPECT_EQ(met.quality, met.lowestReachingSsim);
    EXPECT_LE(at(met.quality).size, t.maxSize);
}

TEST_F(LadderTest, LibraryErrorsNameTheReason)
{
    writeText(path("notes.jpg"), "not a picture at all");
    PictureLadder lad(pool_, path("notes.jpg"), path("w"), true);
    try {
        lad.open();
        FAIL() << "a text file opened as a picture";
    } catch (const LadderError &e) {
        EXPECT_FALSE(std::string(e.what()).empty());
    }
}

TEST(Options, SizesAndQualityLists)
{
    struct Case {
        const char *text;
        int64_t bytes;  // -1: refused
    } sizes[] = {{"1000", 1000}, {"200K", 204800}, {"200kb", 204800}, {"1.5M", 1572864}, {"2 MB", 2097152},
                 {"3KiB", 3072},  {"0", -1},          {"-5", -1},        {"12X", -1},         {"", -1},
                 {"1..2K", -1},   {"K", -1}};
    for (const Case &c : sizes) {
        const auto got = parseSize(c.text);
        EXPECT_EQ(got ? *got : -1, c.bytes) << c.text;
    }
    EXPECT_EQ(*parseQualities("80,10,20,10"), (std::vector<int>{10, 20, 80}));
    EXPECT_EQ(parseQualities("5-95")->size(), 91u);
    for (const char *bad : {"", "0", "101", "10,,20", "20-10", "a", "10-"})
        EXPECT_FALSE(parseQualities(bad)) << bad;
}

TEST(Options, CommandLines)
{
    const Options o = parseOptions({"--qualities=30,40", "-s", "100K", "--out", "d", "a.jpg", "--", "-b.jpg"});
    EXPECT_EQ(o.qualities, (std::vector<int>{30, 40}));
    EXPECT_EQ(o.target.maxSize, 102400);
    EXPECT_EQ(o.outDir, "d");
    EXPECT_EQ(o.inputs, (std::vector<std::string>{"a.jpg", "-b.jpg"}));
    EXPECT_EQ(parseOptions({"x.jpg"}).qualities, defaultQualities());
    EXPECT_EQ(parseOptions({"--all", "x.jpg"}).qualities.size(), 91u);
    for (auto bad : std::vector<std::vector<std::string>>{
             {}, {"--all", "--qualities", "10", "x"}, {"--no-score", "--min-ssim", "0.9", "x"},
             {"--min-ssim", "1.5", "x"}, {"--bogus", "x"}, {"--out"}, {"--json=yes", "x"}})
        EXPECT_THROW(parseOptions(bad), std::invalid_argument) << (bad.empty() ? "" : bad[0]);
}

TEST(Report, JsonStringsAreValidUtf8)
{
    EXPECT_EQ(jsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
    EXPECT_EQ(jsonString("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
    EXPECT_EQ(jsonString("bad\xFF\xC3"), "\"bad\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(jsonString("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");  // a lone surrogate
}

TEST_F(LadderTest, CopyKeepsAnExistingFileUnlessForced)
{
    writeText(path("new"), "new");
    writeText(path("old"), "old");
    const std::string why = publishCopy(path("new"), path("old"), false);
    EXPECT_NE(why.find("exists"), std::string::npos) << why;
    EXPECT_EQ(readText(path("old")), "old");
    EXPECT_EQ(publishCopy(path("new"), path("old"), true), "");
    EXPECT_EQ(readText(path("old")), "new");
    EXPECT_EQ(publishCopy(path("new"), path("fresh"), false), "");
    EXPECT_EQ(readText(path("fresh")), "new");
    // No temporary files are left beside the outputs.
    int files = 0;
    for (auto &e : fs::directory_iterator(env_.root()))
        files += e.is_regular_file();
    EXPECT_EQ(files, 3);
}
