// The main window's preview with a 24-megapixel picture: TAnyImage in a
// scroll box, AutoSize on, CenterOnParent off, the file given as the window
// gives it (empty name first). Compare in one run:
//   anyimage_bench --benchmark_min_time=2
// - BM_PreviewLoad against BM_ConvertAndReadAlone: what the control adds to
//   the library's conversion and the bitmap read it cannot avoid. Counters:
//   the bytes the picture holds and the growth of the resident set.
// - BM_PaintVisible and BM_ScrollStep, 24 MP against 2 MP: painting the
//   visible part and one scroll step must not depend on the picture's size.
//   BM_PaintWhole paints every pixel of the control, for contrast.
#include "components/anyimage.h"
#include "graphics.h"
#include "platform/bitmap.h"
#include "platform/files.h"
#include "platform/stdctrls.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <unistd.h>

namespace {

struct Corpus {
    QTemporaryDir dir;
    std::map<int, QString> files; // megapixels -> JPEG
};

QSize SizeFor(int megapixels)
{
    return megapixels == 24 ? QSize(6000, 4000) : QSize(1732, 1155); // 24 MP, 2 MP
}

// A preview as the window writes it: JPEG at quality 50, with gradients and
// edges so the codec does real work.
Corpus &TheCorpus()
{
    static Corpus corpus = [] {
        Corpus c;
        setenv("TEMP", QFile::encodeName(c.dir.path()).constData(), 1);
        for (int mp : {2, 24}) {
            const QSize size = SizeFor(mp);
            QImage picture(size, QImage::Format_RGB32);
            for (int y = 0; y < size.height(); ++y) {
                auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
                for (int x = 0; x < size.width(); ++x)
                    line[x] = qRgb((x * 255) / size.width(), (y * 255) / size.height(), ((x ^ y) >> 3) & 0xff);
            }
            QPainter painter(&picture);
            painter.setPen(QPen(Qt::white, 9));
            for (int i = 0; i < 60; ++i)
                painter.drawEllipse(QPoint((i * 997) % size.width(), (i * 613) % size.height()), 300 + i * 7,
                                    200 + i * 5);
            painter.end();
            const QString file = c.dir.filePath(QStringLiteral("preview%1.jpg").arg(mp));
            picture.save(file, "JPG", 50);
            c.files[mp] = file;
        }
        return c;
    }();
    return corpus;
}

long ResidentBytes()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// The preview as the main window holds it, shown in a scroll box of 800 x 600.
struct Preview {
    TScrollBox box;
    TAnyImage *image;
    explicit Preview(const QString &file)
    {
        box.resize(800, 600);
        image = new TAnyImage(box.Content());
        image->SetAutoSize(true);
        image->WriteCenterOnParent(false);
        box.show();
        image->WriteFileName(QString());
        image->WriteFileName(file);
        box.UpdateRange();
        QApplication::processEvents();
    }
};

// The floor under a load: the library's conversion to a bitmap file and the
// read of that bitmap, nothing else.
void BM_ConvertAndReadAlone(benchmark::State &state)
{
    const QString source = TheCorpus().files[int(state.range(0))];
    const QString bitmap = TheCorpus().dir.filePath(QStringLiteral("alone.bmp"));
    ImageInfo info{};
    for (auto _ : state) {
        if (!_anytobmps(QFile::encodeName(source).constData(), QFile::encodeName(bitmap).constData(), &info, 3, 0))
            state.SkipWithError(_qz_last_error());
        TBitmap read;
        read.LoadFromFile(bitmap);
        benchmark::DoNotOptimize(read.Width());
        DeleteFile(bitmap);
    }
}
BENCHMARK(BM_ConvertAndReadAlone)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_PreviewLoad(benchmark::State &state)
{
    const QString source = TheCorpus().files[int(state.range(0))];
    TScrollBox box;
    box.resize(800, 600);
    const long before = ResidentBytes();
    auto *image = new TAnyImage(box.Content());
    image->SetAutoSize(true);
    image->WriteCenterOnParent(false);
    for (auto _ : state) {
        image->WriteFileName(QString());
        image->WriteFileName(source);
    }
    if (image->Picture()->Width() != SizeFor(int(state.range(0))).width())
        state.SkipWithError("picture not loaded");
    state.counters["picture_MB"] = image->Picture()->bitmap().Image().sizeInBytes() / 1e6;
    state.counters["rss_growth_MB"] = (ResidentBytes() - before) / 1e6;
}
BENCHMARK(BM_PreviewLoad)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_PaintVisible(benchmark::State &state)
{
    Preview preview(TheCorpus().files[int(state.range(0))]);
    // The part of the control the box shows, in the control's coordinates.
    const QRect visible(0, 0, preview.box.ClientWidth(), preview.box.ClientHeight());
    for (auto _ : state)
        preview.image->repaint(visible);
}
BENCHMARK(BM_PaintVisible)->Arg(2)->Arg(24)->Unit(benchmark::kMicrosecond);

void BM_PaintWhole(benchmark::State &state)
{
    Preview preview(TheCorpus().files[int(state.range(0))]);
    for (auto _ : state)
        preview.image->repaint();
}
BENCHMARK(BM_PaintWhole)->Arg(2)->Arg(24)->Unit(benchmark::kMicrosecond);

// One step of 40 pixels right and down, with the repaint it causes.
void BM_ScrollStep(benchmark::State &state)
{
    Preview preview(TheCorpus().files[int(state.range(0))]);
    QScrollBar *h = preview.box.horizontalScrollBar();
    QScrollBar *v = preview.box.verticalScrollBar();
    int step = 0;
    for (auto _ : state) {
        const int x = (step * 40) % qMax(1, h->maximum());
        const int y = (step * 40) % qMax(1, v->maximum());
        ++step;
        h->setValue(x);
        v->setValue(y);
        preview.box.viewport()->repaint();
    }
    if (h->maximum() <= 0)
        state.SkipWithError("nothing to scroll");
}
BENCHMARK(BM_ScrollStep)->Arg(2)->Arg(24)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TheCorpus();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
