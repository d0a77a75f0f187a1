// SSIM of one 4 MP pair against one full decode of the JPEG it scores.
//
// The picture: $LADDER_BENCH_PHOTO, else the first JPEG in bench/photos,
// else a generated one. It is cut to 2560 x 1600 (4.1 MP) when larger, and
// written by the library at quality 80, the ladder's top rung: that JPEG is
// the one decoded, and its luma against the source's is the pair scored.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include "graphics.h"
#include "luma.h"
#include "pool.h"
#include "ssim.h"

namespace fs = std::filesystem;
using namespace ladder;

namespace {

struct Subject {
    std::string jpegPath;
    std::vector<unsigned char> jpeg;
    LumaPlane source, rung;
    std::string description;
};

std::string findPhoto()
{
    if (const char *p = std::getenv("LADDER_BENCH_PHOTO"))
        return p;
    std::error_code ec;
    std::vector<fs::path> found;
    for (auto &e : fs::recursive_directory_iterator(LADDER_PHOTOS_DIR, ec)) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".jpg" || ext == ".jpeg")
            found.push_back(e.path());
    }
    std::sort(found.begin(), found.end());
    return found.empty() ? std::string() : found.front().string();
}

// Smooth shading with grain: not a photo, but not trivial for the encoder.
void writeGenerated(const std::string &path, int w, int h)
{
    const int stride = (w * 3 + 3) & ~3;
    std::vector<unsigned char> f(54 + size_t(stride) * h, 0);
    auto put = [&](size_t at, unsigned v) {
        for (int i = 0; i < 4; ++i)
            f[at + i] = (unsigned char)(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put(2, unsigned(f.size()));
    put(10, 54);
    put(14, 40);
    put(18, unsigned(w));
    put(22, unsigned(h));
    f[26] = 1;
    f[28] = 24;
    unsigned s = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            const int n = int(s >> 27) - 16;
            unsigned char *p = &f[54 + size_t(stride) * y + 3 * size_t(x)];
            p[0] = (unsigned char)std::clamp(int(128 + 100 * std::sin(x * 0.01) * std::cos(y * 0.013)) + n, 0, 255);
            p[1] = (unsigned char)std::clamp(int(x * 255 / w) + n, 0, 255);
            p[2] = (unsigned char)std::clamp(int(y * 255 / h) + int(40 * std::sin(x * 0.3)) + n, 0, 255);
        }
    FILE *out = std::fopen(path.c_str(), "wb");
    std::fwrite(f.data(), 1, f.size(), out);
    std::fclose(out);
}

Subject &subject()
{
    static Subject s = [] {
        Subject s;
        char tmpl[] = "/tmp/ladder-bench-XXXXXX";
        const std::string dir = mkdtemp(tmpl);
        const std::string bmp = dir + "/work.bmp";
        std::string photo = findPhoto();
        ImageInfo info{};
        if (photo.empty() || !_anytobmps(photo.c_str(), bmp.c_str(), &info, 0, 0)) {
            writeGenerated(bmp, 2560, 1600);
            info.Width = 2560;
            info.Height = 1600;
            s.description = "generated picture";
        } else {
            s.description = fs::path(photo).filename().string();
        }
        const int w = std::min(info.Width, 2560), h = std::min(info.Height, 1600);
        if (w != info.Width || h != info.Height)
            _bmpcrop(bmp.c_str(), bmp.c_str(), &info, (info.Width - w) / 2, (info.Height - h) / 2, w, h);
        s.jpegPath = dir + "/q80.jpg";
        if (!_bmptoanys(bmp.c_str(), s.jpegPath.c_str(), &info, QZ_FORMAT_JPEG, 80)) {
            std::fprintf(stderr, "cannot write the JPEG: %s\n", _qz_last_error());
            std::exit(1);
        }
        s.source = readBitmapLuma(bmp);
        s.rung = decodeJpegLuma(s.jpegPath);
        FILE *in = std::fopen(s.jpegPath.c_str(), "rb");
        s.jpeg.resize(fs::file_size(s.jpegPath));
        if (std::fread(s.jpeg.data(), 1, s.jpeg.size(), in) != s.jpeg.size())
            std::exit(1);
        std::fclose(in);
        static const std::string folder = dir;
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(folder, ec);
        });
        s.description += ", " + std::to_string(w) + "x" + std::to_string(h);
        return s;
    }();
    return s;
}

void fullDecode(const std::vector<unsigned char> &jpeg, std::vector<unsigned char> &rgb)
{
    jpeg_decompress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, jpeg.data(), (unsigned long)jpeg.size());
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_RGB;
    jpeg_start_decompress(&c);
    const size_t stride = size_t(c.output_width) * 3;
    rgb.resize(stride * c.output_height);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = rgb.data() + stride * c.output_scanline;
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
}

void BM_FullDecode(benchmark::State &state)
{
    Subject &s = subject();
    std::vector<unsigned char> rgb;
    for (auto _ : state) {
        fullDecode(s.jpeg, rgb);
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetLabel(s.description);
}

void BM_LumaDecode(benchmark::State &state)
{
    Subject &s = subject();
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeJpegLuma(s.jpegPath));
}

void BM_Ssim(benchmark::State &state)
{
    Subject &s = subject();
    double v = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(v = ssim(s.source, s.rung));
    state.SetLabel("SSIM " + std::to_string(v));
}

void BM_SsimThreads(benchmark::State &state)
{
    Subject &s = subject();
    ThreadPool pool(unsigned(state.range(0)) - 1);
    auto parallel = [&](int n, const std::function<void(int)> &body) { parallelFor(pool, n, body); };
    for (auto _ : state)
        benchmark::DoNotOptimize(ssim(s.source, s.rung, parallel));
}

void BM_Psnr(benchmark::State &state)
{
    Subject &s = subject();
    for (auto _ : state)
        benchmark::DoNotOptimize(psnr(s.source, s.rung));
}

}  // namespace

BENCHMARK(BM_FullDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LumaDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Ssim)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SsimThreads)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Psnr)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
