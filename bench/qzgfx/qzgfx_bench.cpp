// libqzgfx.so against its baselines, in one run:
//   _anytobmps         vs  the JPEG decode in memory + writing the bitmap's bytes
//   _bmptoanys (JPEG)  vs  the JPEG encode in memory with the same settings
// on a 4 MP photo from bench/photos (bench/fetch-photos.sh) and a 24 MP
// picture upscaled from it. Ratios are printed after the timings.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include "graphics.h"

namespace fs = std::filesystem;

namespace {

struct Picture {
    std::string label;                 // "4MP", "24MP"
    fs::path jpeg;                     // the source file
    std::vector<uint8_t> jpegBytes;    // the same, in memory
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;          // decoded, rows padded to 4 bytes
    size_t stride = 0;
    fs::path bitmap;                   // the working bitmap, written by _anytobmps
};

fs::path workDir;
std::vector<Picture> pictures;

std::vector<uint8_t> readAll(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The decode the library does, done in memory: libjpeg, BGR out, defaults.
void decodeJpeg(const std::vector<uint8_t> &bytes, std::vector<uint8_t> &out, int &w, int &h, size_t &stride)
{
    jpeg_decompress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&c);
    w = int(c.output_width);
    h = int(c.output_height);
    stride = (size_t(w) * 3 + 3) & ~size_t(3);
    out.resize(stride * size_t(h));
    std::vector<JSAMPROW> rows(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        rows[size_t(y)] = out.data() + stride * size_t(y);
    while (c.output_scanline < c.output_height)
        jpeg_read_scanlines(&c, rows.data() + c.output_scanline, c.output_height - c.output_scanline);
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
}

// The encode the library does, done in memory: baseline, 4:2:0, optimised
// tables (optimise off for making fixtures). The bytes are kept only when
// asked for, so the timed encode pays for no copy.
size_t encodeJpeg(const uint8_t *bgr, size_t stride, int w, int h, int quality, bool optimise = true,
                  std::vector<uint8_t> *keep = nullptr)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    c.optimize_coding = optimise ? TRUE : FALSE;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPROW> rows(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        rows[size_t(y)] = const_cast<JSAMPROW>(bgr + stride * size_t(y));
    while (c.next_scanline < c.image_height)
        jpeg_write_scanlines(&c, rows.data() + c.next_scanline, c.image_height - c.next_scanline);
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    if (keep)
        keep->assign(buf, buf + size);
    std::free(buf);
    return size;
}

std::vector<uint8_t> encodeToVector(const uint8_t *bgr, size_t stride, int w, int h, int quality)
{
    std::vector<uint8_t> out;
    encodeJpeg(bgr, stride, w, h, quality, false, &out);
    return out;
}

void writeFile(const fs::path &p, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// Writing the bitmap's bytes, as a plain program would: one buffer, one
// write, beside the destination, renamed into place.
void writeBytesAtomically(const fs::path &dest, const std::vector<uint8_t> &bytes)
{
    const std::string tmp = dest.string() + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("open " + tmp);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            throw std::runtime_error("write " + tmp);
        done += size_t(n);
    }
    close(fd);
    rename(tmp.c_str(), dest.c_str());
}

Picture load(const std::string &label, const fs::path &jpeg)
{
    Picture p;
    p.label = label;
    p.jpeg = jpeg;
    p.jpegBytes = readAll(jpeg);
    decodeJpeg(p.jpegBytes, p.bgr, p.width, p.height, p.stride);
    p.bitmap = workDir / (label + ".bmp");
    ImageInfo info{};
    if (!_anytobmps(p.jpeg.c_str(), p.bitmap.c_str(), &info, 0, 0))
        throw std::runtime_error(std::string("_anytobmps: ") + _qz_last_error());
    return p;
}

// A 24 MP picture from the photo: bilinear upscale, written at quality 90.
fs::path upscale(const Picture &src, double factor)
{
    const int w = int(std::lround(src.width * factor)), h = int(std::lround(src.height * factor));
    const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
    std::vector<uint8_t> out(stride * size_t(h));
    for (int y = 0; y < h; ++y) {
        const double sy = std::min(src.height - 1.0, (y + 0.5) / factor - 0.5 < 0 ? 0 : (y + 0.5) / factor - 0.5);
        const int y0 = int(sy), y1 = std::min(src.height - 1, y0 + 1);
        const double fy = sy - y0;
        for (int x = 0; x < w; ++x) {
            const double sx = std::min(src.width - 1.0, (x + 0.5) / factor - 0.5 < 0 ? 0 : (x + 0.5) / factor - 0.5);
            const int x0 = int(sx), x1 = std::min(src.width - 1, x0 + 1);
            const double fx = sx - x0;
            for (int c = 0; c < 3; ++c) {
                auto at = [&](int xx, int yy) { return double(src.bgr[src.stride * size_t(yy) + size_t(xx) * 3 + size_t(c)]); };
                const double v = (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) + (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
                out[stride * size_t(y) + size_t(x) * 3 + size_t(c)] = uint8_t(v + 0.5);
            }
        }
    }
    const fs::path p = workDir / "24mp.jpg";
    writeFile(p, encodeToVector(out.data(), stride, w, h, 90));
    return p;
}

std::vector<uint8_t> bitmapBytes(const Picture &p)
{
    return readAll(p.bitmap);
}

// ---- the cases ----

void BM_decode_in_memory(benchmark::State &state, const Picture *p)
{
    std::vector<uint8_t> out;
    int w, h;
    size_t stride;
    for (auto _ : state) {
        decodeJpeg(p->jpegBytes, out, w, h, stride);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_write_bitmap_bytes(benchmark::State &state, const Picture *p)
{
    const std::vector<uint8_t> bytes = bitmapBytes(*p);
    const fs::path dest = workDir / (p->label + "-plain.bmp");
    for (auto _ : state)
        writeBytesAtomically(dest, bytes);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void BM_anytobmps(benchmark::State &state, const Picture *p)
{
    const fs::path dest = workDir / (p->label + "-out.bmp");
    ImageInfo info{};
    for (auto _ : state)
        if (!_anytobmps(p->jpeg.c_str(), dest.c_str(), &info, 0, 0))
            state.SkipWithError(_qz_last_error());
}

void BM_encode_in_memory(benchmark::State &state, const Picture *p)
{
    const int q = int(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(encodeJpeg(p->bgr.data(), p->stride, p->width, p->height, q));
}

void BM_bmptoanys_jpeg(benchmark::State &state, const Picture *p)
{
    const int q = int(state.range(0));
    const fs::path dest = workDir / (p->label + "-out.jpg");
    ImageInfo info{};
    // The program's first encode after opening a picture; the calls timed
    // are the eight that follow it.
    _bmptoanys(p->bitmap.c_str(), dest.c_str(), &info, QZ_FORMAT_JPEG, q);
    for (auto _ : state)
        if (!_bmptoanys(p->bitmap.c_str(), dest.c_str(), &info, QZ_FORMAT_JPEG, q))
            state.SkipWithError(_qz_last_error());
}

// The same with the working bitmap changed before every call (its time
// stamp moved), so the library must read it again: what the memory saves.
void BM_bmptoanys_jpeg_reread(benchmark::State &state, const Picture *p)
{
    const int q = int(state.range(0));
    const fs::path dest = workDir / (p->label + "-out.jpg");
    ImageInfo info{};
    for (auto _ : state) {
        state.PauseTiming();
        utimensat(AT_FDCWD, p->bitmap.c_str(), nullptr, 0);
        state.ResumeTiming();
        if (!_bmptoanys(p->bitmap.c_str(), dest.c_str(), &info, QZ_FORMAT_JPEG, q))
            state.SkipWithError(_qz_last_error());
    }
}

// What the program does when a picture is opened: one read, nine encodes.
void BM_open_sequence(benchmark::State &state, const Picture *p)
{
    const fs::path bmp = workDir / (p->label + "-seq.bmp"), dest = workDir / (p->label + "-seq.jpg");
    ImageInfo info{};
    for (auto _ : state) {
        bool ok = _anytobmps(p->jpeg.c_str(), bmp.c_str(), &info, 0, 0);
        for (int q : {10, 20, 30, 40, 50, 60, 70, 80, 50})
            ok = ok && _bmptoanys(bmp.c_str(), dest.c_str(), &info, QZ_FORMAT_JPEG, q);
        if (!ok)
            state.SkipWithError(_qz_last_error());
    }
}

void BM_bmpcrop(benchmark::State &state, const Picture *p)
{
    const fs::path dest = workDir / (p->label + "-crop.bmp");
    ImageInfo info{};
    for (auto _ : state)
        if (!_bmpcrop(p->bitmap.c_str(), dest.c_str(), &info, p->width / 4, p->height / 4, p->width / 2, p->height / 2))
            state.SkipWithError(_qz_last_error());
}

void BM_anyto256(benchmark::State &state, const Picture *p)
{
    const fs::path dest = workDir / (p->label + "-256.bmp");
    ImageInfo info{};
    for (auto _ : state)
        if (!_anyto256(p->jpeg.c_str(), dest.c_str(), &info, 0, 0))
            state.SkipWithError(_qz_last_error());
}

void BM_anytogrey(benchmark::State &state, const Picture *p)
{
    const fs::path dest = workDir / (p->label + "-grey.bmp");
    ImageInfo info{};
    for (auto _ : state)
        if (!_anytogrey(p->jpeg.c_str(), dest.c_str(), &info, 0, 0))
            state.SkipWithError(_qz_last_error());
}

void BM_Pic_Valid(benchmark::State &state, const Picture *p)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(_Pic_Valid(p->jpeg.c_str()));
}

// Keeps every run's time per iteration so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds, cpuSeconds;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred && r.iterations > 0) {
                seconds[r.benchmark_name()] = r.GetAdjustedRealTime();
                cpuSeconds[r.benchmark_name()] = r.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    std::string tmpl = (fs::temp_directory_path() / "qzgfx-bench-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        return 1;
    workDir = tmpl;

    fs::path photo;
    const char *chosen = std::getenv("QZGFX_BENCH_PHOTO");
    if (chosen && *chosen) {
        photo = chosen;
    } else {
        for (const char *name : {"FallenLeaf.jpg", "Path.jpg", "EveningGlow.jpg"})
            if (fs::exists(fs::path(VANTREL_PHOTOS_DIR) / name)) {
                photo = fs::path(VANTREL_PHOTOS_DIR) / name;
                break;
            }
    }
    if (photo.empty() || !fs::exists(photo)) {
        std::fprintf(stderr, "No photo: run bench/fetch-photos.sh first (or set QZGFX_BENCH_PHOTO).\n");
        fs::remove_all(workDir);
        return 2;
    }
    std::printf("photo: %s\n", photo.c_str());
    try {
        pictures.reserve(2);
        pictures.push_back(load("4MP", photo));
        // 24 MP: the sides grown by sqrt(24 / area in MP).
        const double factor = std::sqrt(24e6 / (double(pictures[0].width) * pictures[0].height));
        pictures.push_back(load("24MP", upscale(pictures[0], factor)));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }

    for (const Picture &p : pictures) {
        const Picture *pp = &p;
        const std::string s = "/" + p.label;
        benchmark::RegisterBenchmark(("decode_in_memory" + s).c_str(), BM_decode_in_memory, pp)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("write_bitmap_bytes" + s).c_str(), BM_write_bitmap_bytes, pp)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("anytobmps" + s).c_str(), BM_anytobmps, pp)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("encode_in_memory" + s).c_str(), BM_encode_in_memory, pp)->Arg(50)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("bmptoanys_jpeg" + s).c_str(), BM_bmptoanys_jpeg, pp)->Arg(50)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("bmptoanys_jpeg_reread" + s).c_str(), BM_bmptoanys_jpeg_reread, pp)->Arg(50)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("open_sequence" + s).c_str(), BM_open_sequence, pp)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("bmpcrop" + s).c_str(), BM_bmpcrop, pp)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("anytogrey" + s).c_str(), BM_anytogrey, pp)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("anyto256" + s).c_str(), BM_anyto256, pp)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("Pic_Valid" + s).c_str(), BM_Pic_Valid, pp)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // Wall time is what the user waits for; CPU time (of the whole process,
    // the library's writer thread included) is steadier on a busy machine.
    // Both are printed.
    std::printf("\nratios, wall time (CPU time), target in brackets\n");
    for (const Picture &p : pictures) {
        // Names carry suffixes such as "/50" and "/process_time".
        auto t = [&](const std::map<std::string, double> &m, const std::string &name) {
            const std::string key = name + "/" + p.label;
            for (const auto &[n, v] : m)
                if (n == key || n.rfind(key + "/", 0) == 0)
                    return v;
            return std::nan("");
        };
        auto both = [&](const char *what, const char *target, auto ratio) {
            std::printf("%-5s %dx%d  %-44s %.3f (%.3f)  %s\n", p.label.c_str(), p.width, p.height, what,
                        ratio(reporter.seconds), ratio(reporter.cpuSeconds), target);
        };
        both("_bmptoanys / in-memory encode", "[<= 1.10]",
             [&](const auto &m) { return t(m, "bmptoanys_jpeg") / t(m, "encode_in_memory"); });
        both("_anytobmps / (in-memory decode + bitmap write)", "[<= 1.00]",
             [&](const auto &m) { return t(m, "anytobmps") / (t(m, "decode_in_memory") + t(m, "write_bitmap_bytes")); });
        both("_bmptoanys re-reading / remembered", "",
             [&](const auto &m) { return t(m, "bmptoanys_jpeg_reread") / t(m, "bmptoanys_jpeg"); });
    }
    benchmark::Shutdown();
    fs::remove_all(workDir);
    return 0;
}
