// Loading the bitmaps the graphics library writes (24-bit, bottom-up) at
// 6 MP (3000 x 2000) and 24 MP (6000 x 4000). Compare in one run:
//   bitmap_bench --benchmark_min_time=1
// - BM_QtReader: Qt's BMP reader, the way TBitmap loaded before.
// - BM_Load: TBitmap::LoadFromFile, the direct loader (Format_BGR888).
// - BM_LoadThenRGB32: the same, then one conversion to Format_RGB32.
// - BM_ReadBytes: the file's bytes alone read into a new buffer, the floor
//   any load stands on; BM_ReadBytesReused into one buffer kept throughout.
// Painting a 24 MP picture held as Format_BGR888 (arg 0) or Format_RGB32
// (arg 1), on an RGB32 (0) and a premultiplied ARGB32 (1) surface:
// - BM_PaintVisible: the part a 1600 x 1000 view shows, what the image view
//   paints on every expose and scroll step.
// - BM_StretchToView: the whole picture stretched into that view.
// - BM_Tile: CopyImage to 120 x 80, what a thumbnail does once per load.
#include "platform/bitmap.h"
#include "platform/canvas.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

QSize SizeFor(int megapixels) { return megapixels == 24 ? QSize(6000, 4000) : QSize(3000, 2000); }

QImage Picture(QSize size) {
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb((x * 255) / size.width(), (y * 255) / size.height(), ((x ^ y) >> 3) & 0xff);
    }
    return picture;
}

// One bitmap file per size, written by Qt's writer: 24 bits, bottom-up, a
// 40-byte header, as the graphics library writes them.
QString BitmapFile(int megapixels) {
    static QTemporaryDir dir;
    static std::map<int, QString> files;
    QString &file = files[megapixels];
    if (file.isEmpty()) {
        file = dir.filePath(QStringLiteral("picture%1.bmp").arg(megapixels));
        TBitmap(Picture(SizeFor(megapixels))).SaveToFile(file);
    }
    return file;
}

void SetCounters(benchmark::State &state, qint64 bytes) {
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

void BM_QtReader(benchmark::State &state) {
    const QString file = BitmapFile(int(state.range(0)));
    for (auto _ : state) {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        QByteArray data = f.readAll();
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "bmp");
        reader.setDecideFormatFromContent(false);
        QImage image = reader.read();
        if (image.isNull())
            state.SkipWithError("Qt's reader failed");
        benchmark::DoNotOptimize(image.constBits());
    }
    SetCounters(state, QFileInfo(file).size());
}
BENCHMARK(BM_QtReader)->Arg(6)->Arg(24)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_Load(benchmark::State &state) {
    const QString file = BitmapFile(int(state.range(0)));
    for (auto _ : state) {
        TBitmap bitmap;
        bitmap.LoadFromFile(file);
        benchmark::DoNotOptimize(bitmap.Image().constBits());
    }
    SetCounters(state, QFileInfo(file).size());
}
BENCHMARK(BM_Load)->Arg(6)->Arg(24)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_LoadThenRGB32(benchmark::State &state) {
    const QString file = BitmapFile(int(state.range(0)));
    for (auto _ : state) {
        TBitmap bitmap;
        bitmap.LoadFromFile(file);
        bitmap.SetImage(bitmap.Image().convertToFormat(QImage::Format_RGB32));
        benchmark::DoNotOptimize(bitmap.Image().constBits());
    }
    SetCounters(state, QFileInfo(file).size());
}
BENCHMARK(BM_LoadThenRGB32)->Arg(6)->Arg(24)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

bool ReadAll(const QString &file, char *to, qint64 size) {
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, to + done, size_t(size - done));
        if (n <= 0)
            break;
        done += n;
    }
    ::close(fd);
    return done == size;
}

void BM_ReadBytes(benchmark::State &state) {
    const QString file = BitmapFile(int(state.range(0)));
    const qint64 size = QFileInfo(file).size();
    for (auto _ : state) {
        std::unique_ptr<char[]> bytes(new char[size_t(size)]);
        if (!ReadAll(file, bytes.get(), size))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(bytes.get());
    }
    SetCounters(state, size);
}
BENCHMARK(BM_ReadBytes)->Arg(6)->Arg(24)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_ReadBytesReused(benchmark::State &state) {
    const QString file = BitmapFile(int(state.range(0)));
    const qint64 size = QFileInfo(file).size();
    std::vector<char> bytes(size_t(size), 1);
    for (auto _ : state) {
        if (!ReadAll(file, bytes.data(), size))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(bytes.data());
    }
    SetCounters(state, size);
}
BENCHMARK(BM_ReadBytesReused)->Arg(6)->Arg(24)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// The 24 MP picture as the loader gives it (0) or converted (1).
const TBitmap &Loaded(int format) {
    static std::map<int, TBitmap> held;
    TBitmap &b = held[format];
    if (b.Empty()) {
        b.LoadFromFile(BitmapFile(24));
        if (format == 1)
            b.SetImage(b.Image().convertToFormat(QImage::Format_RGB32));
    }
    return b;
}

QImage Surface(int kind) {
    QImage s(1600, 1000, kind == 0 ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    s.fill(Qt::gray);
    return s;
}

void Paint(benchmark::State &state, const std::function<void(TCanvas &, const TBitmap &)> &draw) {
    const TBitmap &bitmap = Loaded(int(state.range(0)));
    QImage surface = Surface(int(state.range(1)));
    for (auto _ : state) {
        QPainter painter(&surface);
        TCanvas canvas;
        canvas.Begin(&painter);
        draw(canvas, bitmap);
        canvas.End();
    }
    state.SetLabel(state.range(0) == 0 ? "BGR888" : "RGB32");
}

void BM_PaintVisible(benchmark::State &state) {
    Paint(state, [](TCanvas &c, const TBitmap &b) { c.Draw(-2200, -1500, b); });
}
BENCHMARK(BM_PaintVisible)->ArgsProduct({{0, 1}, {0, 1}})->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_StretchToView(benchmark::State &state) {
    Paint(state, [](TCanvas &c, const TBitmap &b) { c.StretchDraw(QRect(0, 0, 1500, 1000), b); });
}
BENCHMARK(BM_StretchToView)->ArgsProduct({{0, 1}, {0, 1}})->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_Tile(benchmark::State &state) {
    const TBitmap &bitmap = Loaded(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(CopyImage(bitmap, 120, 80).Image().constBits());
    state.SetLabel(state.range(0) == 0 ? "BGR888" : "RGB32");
}
BENCHMARK(BM_Tile)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
