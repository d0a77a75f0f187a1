#include "ssim.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace ladder {

namespace {

constexpr int kRadius = 5;
constexpr int kTaps = 2 * kRadius + 1;
// Output rows per band: big enough that the ten extra rows a band reads
// above its own cost little, small enough to spread a picture over threads.
constexpr int kBandRows = 64;
// Output columns per strip: 44 rows of this many floats fit in L2 with room.
constexpr int kStripColumns = 512;
constexpr float kC1 = (0.01f * 255) * (0.01f * 255);
constexpr float kC2 = (0.03f * 255) * (0.03f * 255);
// Second moments are taken about mid-grey: the squares are four times
// smaller than about 0, which keeps float's cancellation in the variances
// well below C2 on flat areas.
constexpr float kMid = 128.0f;

// The loops are inlined into each processor-specific copy of the band sum,
// so that each copy vectorises them for its own instruction set.
#define SSIM_INLINE inline __attribute__((always_inline))

struct Weights {
    float w[kTaps];
    Weights()
    {
        double sum = 0, v[kTaps];
        for (int k = 0; k < kTaps; ++k) {
            const double d = k - kRadius;
            v[k] = std::exp(-d * d / (2 * 1.5 * 1.5));
            sum += v[k];
        }
        for (int k = 0; k < kTaps; ++k)
            w[k] = float(v[k] / sum);
    }
};

// The window is symmetric, so each output needs six products, not eleven.
SSIM_INLINE void filterColumn(const float *const *rows, float *__restrict out, int width, const float *g)
{
    const float *__restrict r0 = rows[0], *__restrict r1 = rows[1], *__restrict r2 = rows[2];
    const float *__restrict r3 = rows[3], *__restrict r4 = rows[4], *__restrict r5 = rows[5];
    const float *__restrict r6 = rows[6], *__restrict r7 = rows[7], *__restrict r8 = rows[8];
    const float *__restrict r9 = rows[9], *__restrict r10 = rows[10];
    const float g0 = g[0], g1 = g[1], g2 = g[2], g3 = g[3], g4 = g[4], g5 = g[5];
    for (int j = 0; j < width; ++j)
        out[j] = g5 * r5[j] + g0 * (r0[j] + r10[j]) + g1 * (r1[j] + r9[j]) + g2 * (r2[j] + r8[j]) +
                 g3 * (r3[j] + r7[j]) + g4 * (r4[j] + r6[j]);
}

SSIM_INLINE float filterRow(const float *__restrict v, int j, const float *g)
{
    return g[5] * v[j + 5] + g[0] * (v[j] + v[j + 10]) + g[1] * (v[j + 1] + v[j + 9]) +
           g[2] * (v[j + 2] + v[j + 8]) + g[3] * (v[j + 3] + v[j + 7]) + g[4] * (v[j + 4] + v[j + 6]);
}

// The formula needs the two variances only as their sum, so x^2 + y^2 is
// filtered as one plane: four planes instead of five.
SSIM_INLINE void products(const float *__restrict a, const float *__restrict b, float *__restrict squares,
                          float *__restrict cross, int width)
{
    for (int j = 0; j < width; ++j) {
        const float x = a[j] - kMid, y = b[j] - kMid;
        squares[j] = x * x + y * y;
        cross[j] = x * y;
    }
}

SSIM_INLINE void ssimRow(const float *__restrict va, const float *__restrict vb, const float *__restrict vsq,
                         const float *__restrict vab, float *__restrict map, int outWidth, const float *g)
{
    for (int j = 0; j < outWidth; ++j) {
        const float ma = filterRow(va, j, g), mb = filterRow(vb, j, g);
        const float ca = ma - kMid, cb = mb - kMid;
        const float variances = filterRow(vsq, j, g) - (ca * ca + cb * cb);
        const float covariance = filterRow(vab, j, g) - ca * cb;
        const float num = (2 * ma * mb + kC1) * (2 * covariance + kC2);
        const float den = (ma * ma + mb * mb + kC1) * (variances + kC2);
        map[j] = num / den;
    }
}

// Sums a row of the map with independent partial sums: one running sum
// would make every addition wait for the one before.
SSIM_INLINE double sumRow(const float *__restrict map, int n)
{
    double part[8] = {};
    int j = 0;
    for (; j + 8 <= n; j += 8)
        for (int k = 0; k < 8; ++k)
            part[k] += double(map[j + k]);
    double sum = 0;
    for (; j < n; ++j)
        sum += double(map[j]);
    for (double p : part)
        sum += p;
    return sum;
}

// Sum of the SSIM map over output rows [y0, y1) and output columns
// [x0, x1). The columns are taken in strips so that the eleven rows of four
// planes a strip works on stay in the processor's cache.
SSIM_INLINE double bandSumBody(const LumaPlane &a, const LumaPlane &b, int y0, int y1, const float *g)
{
    const int outWidth = a.width - 2 * kRadius;
    const size_t w = size_t(std::min(outWidth, kStripColumns) + 2 * kRadius);
    // Ring of the last eleven rows of the two second-moment planes; the means
    // are filtered straight from the luma planes.
    std::unique_ptr<float[]> ring(new float[2 * kTaps * w]);
    std::unique_ptr<float[]> vert(new float[4 * w]);
    std::unique_ptr<float[]> map(new float[w]);
    auto ringRow = [&](int plane, int y) { return ring.get() + (size_t(plane) * kTaps + size_t(y % kTaps)) * w; };

    double sum = 0;
    const float *rows[kTaps];
    for (int x0 = 0; x0 < outWidth; x0 += kStripColumns) {
        const int stripOut = std::min(kStripColumns, outWidth - x0);
        const int stripIn = stripOut + 2 * kRadius;
        for (int y = y0; y < y0 + 2 * kRadius; ++y)
            products(a.row(y) + x0, b.row(y) + x0, ringRow(0, y), ringRow(1, y), stripIn);
        for (int oy = y0; oy < y1; ++oy) {
            const int last = oy + 2 * kRadius;
            products(a.row(last) + x0, b.row(last) + x0, ringRow(0, last), ringRow(1, last), stripIn);
            for (int k = 0; k < kTaps; ++k)
                rows[k] = a.row(oy + k) + x0;
            filterColumn(rows, vert.get(), stripIn, g);
            for (int k = 0; k < kTaps; ++k)
                rows[k] = b.row(oy + k) + x0;
            filterColumn(rows, vert.get() + w, stripIn, g);
            for (int p = 0; p < 2; ++p) {
                for (int k = 0; k < kTaps; ++k)
                    rows[k] = ringRow(p, oy + k);
                filterColumn(rows, vert.get() + (2 + p) * w, stripIn, g);
            }
            ssimRow(vert.get(), vert.get() + w, vert.get() + 2 * w, vert.get() + 3 * w, map.get(), stripOut, g);
            sum += sumRow(map.get(), stripOut);
        }
    }
    return sum;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same loops compiled for AVX2 and FMA, chosen at run time: twice the
// lanes of the baseline's SSE2.
__attribute__((target("avx2,fma"))) double bandSumAvx2(const LumaPlane &a, const LumaPlane &b, int y0, int y1,
                                                        const float *g)
{
    return bandSumBody(a, b, y0, y1, g);
}

double bandSumBase(const LumaPlane &a, const LumaPlane &b, int y0, int y1, const float *g)
{
    return bandSumBody(a, b, y0, y1, g);
}

double bandSum(const LumaPlane &a, const LumaPlane &b, int y0, int y1, const float *g)
{
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return avx2 ? bandSumAvx2(a, b, y0, y1, g) : bandSumBase(a, b, y0, y1, g);
}
#else
double bandSum(const LumaPlane &a, const LumaPlane &b, int y0, int y1, const float *g)
{
    return bandSumBody(a, b, y0, y1, g);
}
#endif

}  // namespace

double ssim(const LumaPlane &a, const LumaPlane &b, const ParallelFor &parallel)
{
    if (a.width != b.width || a.height != b.height || a.width < kTaps || a.height < kTaps)
        return std::numeric_limits<double>::quiet_NaN();
    static const Weights weights;
    const int outHeight = a.height - 2 * kRadius;
    const int bands = (outHeight + kBandRows - 1) / kBandRows;
    std::vector<double> sums(size_t(bands), 0.0);
    auto band = [&](int i) {
        const int y0 = i * kBandRows;
        const int y1 = std::min(outHeight, y0 + kBandRows);
        sums[size_t(i)] = bandSum(a, b, y0, y1, weights.w);
    };
    if (parallel)
        parallel(bands, band);
    else
        for (int i = 0; i < bands; ++i)
            band(i);
    double total = 0;
    for (double s : sums)
        total += s;
    return total / (double(outHeight) * double(a.width - 2 * kRadius));
}

double psnr(const LumaPlane &a, const LumaPlane &b)
{
    if (a.width != b.width || a.height != b.height || a.pixels.empty() || a.pixels.size() != b.pixels.size())
        return std::numeric_limits<double>::quiet_NaN();
    double sse = 0;
    for (int y = 0; y < a.height; ++y) {
        const float *ra = a.row(y), *rb = b.row(y);
        double rowSum = 0;
        for (int x = 0; x < a.width; ++x) {
            const double d = double(ra[x]) - double(rb[x]);
            rowSum += d * d;
        }
        sse += rowSum;
    }
    if (sse == 0)
        return std::numeric_limits<double>::infinity();
    const double mse = sse / (double(a.width) * double(a.height));
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace ladder
