// Eight tiles of a 24-megapixel JPEG, built as the main window builds them
// (BitmapSize 120: half-scale decodes, empty name first), against the floor
// under them: the same eight half-scale decodes done in memory with
// TurboJPEG, no files and no stretch. Compare the two in one run:
//   thumb_bench --benchmark_min_time=2
// Further rows: the library's file-to-file conversion alone, and the tiles
// with FullSize on (the full decodes that the scale codes avoid).
#include "components/thumb.h"
#include "graphics.h"
#include "platform/bitmap.h"
#include "platform/files.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QWidget>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>
#include <turbojpeg.h>
#include <vector>

namespace {

constexpr int kWidth = 6000, kHeight = 4000; // 24 MP
constexpr int kTiles = 8;

struct Corpus {
    QTemporaryDir dir;
    QStringList variants; // the eight JPEG files, as the window writes them
    std::vector<QByteArray> bytes;
};

Corpus &TheCorpus() {
    static Corpus corpus = [] {
        Corpus c;
        setenv("TEMP", QFile::encodeName(c.dir.path()).constData(), 1);
        // Gradients and edges, so the encoder and decoder do real work.
        QImage picture(kWidth, kHeight, QImage::Format_RGB32);
        for (int y = 0; y < kHeight; ++y) {
            auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
            for (int x = 0; x < kWidth; ++x)
                line[x] = qRgb((x * 255) / kWidth, (y * 255) / kHeight, ((x ^ y) >> 3) & 0xff);
        }
        QPainter painter(&picture);
        painter.setPen(QPen(Qt::white, 9));
        for (int i = 0; i < 60; ++i)
            painter.drawEllipse(QPoint((i * 997) % kWidth, (i * 613) % kHeight), 300 + i * 7, 200 + i * 5);
        painter.end();
        for (int i = 0; i < kTiles; ++i) {
            const QString file = c.dir.filePath(QStringLiteral("temp%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
            picture.save(file, "JPG", 10 + 10 * i);
            QFile f(file);
            f.open(QIODevice::ReadOnly);
            c.bytes.push_back(f.readAll());
            c.variants << file;
        }
        return c;
    }();
    return corpus;
}

// The floor: eight half-scale decodes in memory.
void BM_HalfDecodesInMemory(benchmark::State &state) {
    Corpus &c = TheCorpus();
    tjhandle tj = tjInitDecompress();
    std::vector<unsigned char> pixels(size_t(kWidth / 2 + 1) * (kHeight / 2 + 1) * 3);
    for (auto _ : state) {
        for (const QByteArray &jpeg : c.bytes) {
            int w = 0, h = 0, sub = 0, space = 0;
            tjDecompressHeader3(tj, reinterpret_cast<const unsigned char *>(jpeg.constData()),
                                jpeg.size(), &w, &h, &sub, &space);
            const int hw = TJSCALED(w, (tjscalingfactor{1, 2}));
            const int hh = TJSCALED(h, (tjscalingfactor{1, 2}));
            if (tjDecompress2(tj, reinterpret_cast<const unsigned char *>(jpeg.constData()), jpeg.size(),
                              pixels.data(), hw, 0, hh, TJPF_RGB, 0) != 0)
                state.SkipWithError(tjGetErrorStr2(tj));
            benchmark::DoNotOptimize(pixels.data());
        }
    }
    tjDestroy(tj);
    state.counters["pictures/s"] = benchmark::Counter(double(kTiles), benchmark::Counter::kIsIterationInvariantRate);
}

// The library's file-to-file conversion at half scale, no tile.
void BM_LibraryHalfToBitmap(benchmark::State &state) {
    Corpus &c = TheCorpus();
    const QByteArray bitmap = QFile::encodeName(c.dir.filePath("lib.bmp"));
    auto info = std::make_unique<ImageInfo>();
    for (auto _ : state) {
        for (const QString &file : c.variants) {
            if (!_anytobmps(QFile::encodeName(file).constData(), bitmap.constData(), info.get(), 1, 1))
                state.SkipWithError(_qz_last_error());
            DeleteFile(QFile::decodeName(bitmap));
        }
    }
    state.counters["pictures/s"] = benchmark::Counter(double(kTiles), benchmark::Counter::kIsIterationInvariantRate);
}

// The tile's own share, step by step: loading the half-size bitmap the
// library wrote, and the plain stretch to 120 x 80.
void BM_LoadHalfBitmap(benchmark::State &state) {
    Corpus &c = TheCorpus();
    const QString bitmap = c.dir.filePath("half.bmp");
    auto info = std::make_unique<ImageInfo>();
    _anytobmps(QFile::encodeName(c.variants[7]).constData(), QFile::encodeName(bitmap).constData(),
               info.get(), 1, 1);
    TBitmap full;
    for (auto _ : state) {
        for (int i = 0; i < kTiles; ++i)
            full.LoadFromFile(bitmap);
    }
    state.counters["pictures/s"] = benchmark::Counter(double(kTiles), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_StretchHalfBitmap(benchmark::State &state) {
    TBitmap full(QImage(kWidth / 2, kHeight / 2, QImage::Format_RGB32));
    for (auto _ : state) {
        for (int i = 0; i < kTiles; ++i)
            benchmark::DoNotOptimize(CopyImage(full, 120, 80));
    }
}

// The window's eight tiles, shown, each given the empty name then its file.
void Tiles(benchmark::State &state, bool fullSize) {
    Corpus &c = TheCorpus();
    QWidget host;
    host.resize(160, 8 * 152);
    std::vector<TThumbnail *> tiles;
    for (int i = 0; i < kTiles; ++i) {
        auto *tile = new TThumbnail(&host);
        tile->SetBounds(0, i * 152, 128, 128);
        tile->WriteBitmapSize(120);
        tile->WriteShowLabel(false);
        tile->FullSize = fullSize;
        tiles.push_back(tile);
    }
    host.show();
    for (auto _ : state) {
        for (int i = 0; i < kTiles; ++i) {
            tiles[i]->WriteFileName(QString());
            tiles[i]->WriteFileName(c.variants[i]);
            if (!tiles[i]->HasPicture())
                state.SkipWithError("no picture");
        }
    }
    state.counters["pictures/s"] = benchmark::Counter(double(kTiles), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_EightTiles(benchmark::State &state) { Tiles(state, false); }
void BM_EightTilesFullSize(benchmark::State &state) { Tiles(state, true); }

BENCHMARK(BM_HalfDecodesInMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibraryHalfToBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadHalfBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StretchHalfBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EightTiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EightTilesFullSize)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    benchmark::Initialize(&argc, argv);
    TheCorpus();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
