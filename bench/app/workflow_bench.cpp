// The main window's two steps on a real photo (bench/photos, from
// bench/fetch-photos.sh; a painted picture when there is none) and on a
// 24-megapixel picture made from it:
//   Open    what "Open Image" does once the dialog returned: one read, nine
//           JPEG writes, eight thumbnail loads, one preview load;
//   Slider  one slider step: one JPEG write and one preview load.
// Each iteration also does the same codec work in memory with libjpeg and
// the library's settings (full decode of the picture, nine encodes, eight
// half-scale decodes, one full decode; for the slider one encode and one
// full decode), interleaved so both see the same machine. The counters:
//   memory_ms   the in-memory sum per iteration
//   ratio       the window's time / the in-memory sum (targets: Open <= 1.6,
//               Slider <= 2.0)
//   cpu_ratio   the same in CPU time of the process
//   files_share the part of the window's time that the in-memory work does
//               not explain: writing and reading the intermediate files
//               (working bitmap, variants, temporary bitmaps of the views).
// Run: app_bench --benchmark_min_time=2
#include "Unit1.h"
#include "components/anyimage.h"
#include "components/thumb.h"
#include "platform/application.h"
#include "platform/files.h"
#include "platform/messages.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <jpeglib.h>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// CPU time of the process (the library may use a second thread): on a shared
// machine it leaves out the time spent waiting for a core, which falls on
// both sides alike but unevenly.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Wall and CPU time of both sides of one benchmark.
struct Tally {
    double window = 0, memory = 0, windowCpu = 0, memoryCpu = 0;

    template <typename WindowStep, typename MemoryStep>
    void Run(benchmark::State &state, WindowStep &&windowStep, MemoryStep &&memoryStep) {
        double cpu = CpuSeconds();
        auto start = Clock::now();
        windowStep();
        const double t = Seconds(start);
        windowCpu += CpuSeconds() - cpu;
        state.SetIterationTime(t);
        window += t;
        cpu = CpuSeconds();
        start = Clock::now();
        memoryStep();
        memory += Seconds(start);
        memoryCpu += CpuSeconds() - cpu;
    }
};

// ---- the same codec work in memory -------------------------------------

struct JpegError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void OnJpegError(j_common_ptr info) { longjmp(reinterpret_cast<JpegError *>(info->err)->jump, 1); }

struct Pixels {
    int width = 0, height = 0;
    std::vector<unsigned char> bgr;
};

// Decodes as the library does: BGR out, scaled by 1 / 2^scale in the DCT.
Pixels Decode(const std::vector<unsigned char> &jpeg, int scale) {
    jpeg_decompress_struct c{};
    JpegError error{};
    c.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = OnJpegError;
    Pixels out;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&c);
        throw std::runtime_error("decode failed");
    }
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, jpeg.data(), jpeg.size());
    jpeg_read_header(&c, TRUE);
    c.scale_num = 1;
    c.scale_denom = 1u << scale;
    c.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&c);
    out.width = int(c.output_width);
    out.height = int(c.output_height);
    out.bgr.resize(size_t(out.width) * out.height * 3);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = out.bgr.data() + size_t(c.output_scanline) * out.width * 3;
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return out;
}

// Encodes as the library does: optimised Huffman tables, 4:2:0.
std::vector<unsigned char> Encode(const Pixels &pixels, int quality) {
    jpeg_compress_struct c{};
    JpegError error{};
    c.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = OnJpegError;
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&c);
        std::free(buffer);
        throw std::runtime_error("encode failed");
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(pixels.width);
    c.image_height = JDIMENSION(pixels.height);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    c.optimize_coding = TRUE;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.bgr.data() + size_t(c.next_scanline) * pixels.width * 3);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<unsigned char> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return out;
}

std::vector<unsigned char> ReadAll(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    const QByteArray bytes = file.readAll();
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

// Open in memory: decode, nine encodes, eight half decodes, one full decode.
void OpenInMemory(const std::vector<unsigned char> &original) {
    const Pixels picture = Decode(original, 0);
    std::vector<std::vector<unsigned char>> variants;
    for (int i = 0; i < VariantCount; ++i)
        variants.push_back(Encode(picture, Qualities[i]));
    const std::vector<unsigned char> preview = Encode(picture, 50);
    for (const auto &variant : variants)
        benchmark::DoNotOptimize(Decode(variant, 1).bgr.data());
    benchmark::DoNotOptimize(Decode(preview, 0).bgr.data());
}

void SliderInMemory(const Pixels &picture, int quality) {
    const std::vector<unsigned char> preview = Encode(picture, quality);
    benchmark::DoNotOptimize(Decode(preview, 0).bgr.data());
}

// ---- the pictures ----------------------------------------------------------

struct Corpus {
    QTemporaryDir dir;
    QString photo;     // about 4 MP
    QString large;     // 24 MP made from it
};

Corpus &TheCorpus() {
    static Corpus corpus = [] {
        Corpus c;
        const QStringList photos = QDir(QStringLiteral(VANTREL_PHOTOS))
                                       .entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
        QImage source;
        if (!photos.isEmpty()) {
            c.photo = QStringLiteral(VANTREL_PHOTOS "/") + photos.first();
            source.load(c.photo);
        }
        if (source.isNull()) {
            // No photo fetched: a painted scene of 4 MP stands in.
            std::fprintf(stderr, "no photo in %s (run bench/fetch-photos.sh): using a painted picture\n",
                         VANTREL_PHOTOS);
            source = QImage(2560, 1600, QImage::Format_RGB32);
            QPainter p(&source);
            QLinearGradient g(0, 0, 2560, 1600);
            g.setColorAt(0, Qt::darkBlue);
            g.setColorAt(1, QColor(250, 180, 90));
            p.fillRect(source.rect(), g);
            for (int i = 0; i < 400; ++i) {
                p.setPen(QColor::fromHsv((i * 37) % 360, 200, 220));
                p.drawEllipse(QPoint((i * 997) % 2560, (i * 613) % 1600), 20 + i % 90, 15 + i % 60);
            }
            p.end();
            c.photo = c.dir.filePath(QStringLiteral("painted.jpg"));
            source.save(c.photo, "JPG", 90);
        }
        // 24 MP with the photo's proportions, smoothly enlarged.
        const double scale = std::sqrt(24.0e6 / (double(source.width()) * source.height()));
        const QImage large = source.scaled(int(source.width() * scale), int(source.height() * scale),
                                           Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        c.large = c.dir.filePath(QStringLiteral("large.jpg"));
        large.save(c.large, "JPG", 90);
        return c;
    }();
    return corpus;
}

QString PictureOf(int index) { return index == 0 ? TheCorpus().photo : TheCorpus().large; }

// One window for the whole run, in a working folder of its own.
TForm1 &Window() {
    static QTemporaryDir work;
    static TForm1 *form = [] {
        setenv("TEMP", QFile::encodeName(work.path()).constData(), 1);
        setenv("XDG_CONFIG_HOME", QFile::encodeName(work.path()).constData(), 1);
        StartRecordingMessages();
        return new TForm1;
    }();
    return *form;
}

void Report(benchmark::State &state, const Tally &tally) {
    state.SetLabel(QStringLiteral("%1x%2").arg(Window().ImageWidth()).arg(Window().ImageHeight()).toStdString());
    const double n = double(state.iterations());
    state.counters["memory_ms"] = benchmark::Counter(tally.memory / n * 1e3);
    state.counters["ratio"] = benchmark::Counter(tally.window / tally.memory);
    state.counters["cpu_ratio"] = benchmark::Counter(tally.windowCpu / tally.memoryCpu);
    state.counters["files_share"] =
        benchmark::Counter(tally.window > tally.memory ? (tally.window - tally.memory) / tally.window : 0.0);
}

void BM_Open(benchmark::State &state) {
    const QString picture = PictureOf(int(state.range(0)));
    const std::vector<unsigned char> original = ReadAll(picture);
    TForm1 &form = Window();
    // Once untimed: the first load finds and maps the library.
    form.OpenPicture(picture);
    Tally tally;
    for (auto _ : state)
        tally.Run(state, [&] { form.OpenPicture(picture); }, [&] { OpenInMemory(original); });
    if (!RecordedMessages().isEmpty())
        state.SkipWithError(RecordedMessages().first().Text.toStdString().c_str());
    Report(state, tally);
}

void BM_Slider(benchmark::State &state) {
    const QString picture = PictureOf(int(state.range(0)));
    TForm1 &form = Window();
    form.OpenPicture(picture);
    const Pixels pixels = Decode(ReadAll(picture), 0);
    Tally tally;
    int step = 0;
    for (auto _ : state) {
        // One notch at a time, as a key press moves it.
        const int quality = 50 + (step++ & 1);
        form.TrackBar1->SetPosition(quality);
        tally.Run(state, [&] { form.TrackBar1Change(form.TrackBar1); }, [&] { SliderInMemory(pixels, quality); });
    }
    Report(state, tally);
}

// The same two steps taken apart, each part against its in-memory twin:
// where the files cost.
void BM_OpenParts(benchmark::State &state) {
    const QString picture = PictureOf(int(state.range(0)));
    const std::vector<unsigned char> original = ReadAll(picture);
    TForm1 &form = Window();
    const QByteArray source = picture.toUtf8();
    double read = 0, writes = 0, thumbs = 0, view = 0;
    double decode = 0, encodes = 0, halves = 0, full = 0;
    for (auto _ : state) {
        const double before = read + writes + thumbs + view;
        auto start = Clock::now();
        _anytobmps(source.constData(), WorkFiles[WorkingBitmap], &CurrentInfo, 0, 0);
        read += Seconds(start);
        start = Clock::now();
        for (int i = 0; i < VariantCount; ++i)
            _bmptoanys(WorkFiles[WorkingBitmap], WorkFiles[i], &CurrentInfo, 2, Qualities[i]);
        _bmptoanys(WorkFiles[WorkingBitmap], WorkFiles[PreviewFile], &CurrentInfo, 2, 50);
        writes += Seconds(start);
        start = Clock::now();
        for (int i = 0; i < VariantCount; ++i) {
            form.Thumb(i)->WriteFileName(QString());
            form.Thumb(i)->WriteFileName(QString::fromUtf8(WorkFiles[i]));
        }
        thumbs += Seconds(start);
        start = Clock::now();
        form.AnyImage1->WriteFileName(QString());
        form.AnyImage1->WriteFileName(QString::fromUtf8(WorkFiles[PreviewFile]));
        view += Seconds(start);
        state.SetIterationTime(read + writes + thumbs + view - before);

        start = Clock::now();
        const Pixels pixels = Decode(original, 0);
        decode += Seconds(start);
        start = Clock::now();
        std::vector<std::vector<unsigned char>> variants;
        for (int i = 0; i < VariantCount; ++i)
            variants.push_back(Encode(pixels, Qualities[i]));
        const std::vector<unsigned char> preview = Encode(pixels, 50);
        encodes += Seconds(start);
        start = Clock::now();
        for (const auto &variant : variants)
            benchmark::DoNotOptimize(Decode(variant, 1).bgr.data());
        halves += Seconds(start);
        start = Clock::now();
        benchmark::DoNotOptimize(Decode(preview, 0).bgr.data());
        full += Seconds(start);
    }
    const double n = double(state.iterations()) / 1e3;
    state.counters["read_ms"] = read / n;
    state.counters["decode_ms"] = decode / n;
    state.counters["writes_ms"] = writes / n;
    state.counters["encodes_ms"] = encodes / n;
    state.counters["thumbs_ms"] = thumbs / n;
    state.counters["halves_ms"] = halves / n;
    state.counters["view_ms"] = view / n;
    state.counters["full_ms"] = full / n;
}

void BM_SliderParts(benchmark::State &state) {
    const QString picture = PictureOf(int(state.range(0)));
    TForm1 &form = Window();
    form.OpenPicture(picture);
    const Pixels pixels = Decode(ReadAll(picture), 0);
    double write = 0, view = 0, encode = 0, full = 0;
    int step = 0;
    for (auto _ : state) {
        const int quality = 50 + (step++ & 1);
        const double before = write + view;
        auto start = Clock::now();
        _bmptoanys(WorkFiles[WorkingBitmap], WorkFiles[PreviewFile], &CurrentInfo, 2, quality);
        write += Seconds(start);
        start = Clock::now();
        form.AnyImage1->WriteFileName(QString());
        form.AnyImage1->WriteFileName(QString::fromUtf8(WorkFiles[PreviewFile]));
        view += Seconds(start);
        state.SetIterationTime(write + view - before);
        start = Clock::now();
        const std::vector<unsigned char> preview = Encode(pixels, quality);
        encode += Seconds(start);
        start = Clock::now();
        benchmark::DoNotOptimize(Decode(preview, 0).bgr.data());
        full += Seconds(start);
    }
    const double n = double(state.iterations()) / 1e3;
    state.counters["write_ms"] = write / n;
    state.counters["encode_ms"] = encode / n;
    state.counters["view_ms"] = view / n;
    state.counters["full_ms"] = full / n;
}

BENCHMARK(BM_Open)->Arg(0)->Arg(1)->ArgName("picture")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Slider)->Arg(0)->Arg(1)->ArgName("picture")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenParts)->Arg(0)->Arg(1)->ArgName("picture")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SliderParts)->Arg(0)->Arg(1)->ArgName("picture")->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::fprintf(stderr, "picture 0: %s\npicture 1: %s (24 MP)\n", qPrintable(TheCorpus().photo),
                 qPrintable(TheCorpus().large));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
