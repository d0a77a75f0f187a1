// TThumbnail: see thumb.h.
#include "components/thumb.h"

#include "platform/canvas.h"
#include "platform/component.h"
#include "platform/environment.h"
#include "platform/files.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sys/stat.h>

// The scaling rule's products are those of an x87 extended double; a long
// double of 53 bits would round 120 x (100 / 300) up to 40.
static_assert(std::numeric_limits<long double>::digits >= 64,
              "the scaling rule needs an extended-precision long double");

namespace {

// The thumbnail's side for a picture side: S x ratio, formed in extended
// precision and truncated. The ratio is rounded to a double first, so
// 100 / 300 lies just below one third and 120 of it gives 39, not 40.
long double ScaledSide(int S, double ratio) {
    return std::trunc(static_cast<long double>(S) * static_cast<long double>(ratio));
}

// Longer side S, aspect kept; a side that truncates to 0 stays 0.
void ThumbnailSize(int S, int W, int H, int &w, int &h) {
    const double wOverH = static_cast<double>(W) / static_cast<double>(H);
    const double hOverW = static_cast<double>(H) / static_cast<double>(W);
    const long double wide = ScaledSide(S, wOverH);
    if (wide > S) {
        w = S;
        h = static_cast<int>(ScaledSide(S, hOverW));
    } else {
        w = static_cast<int>(wide);
        h = S;
    }
}

// Both names exist and are one file (also through a link).
bool SameFile(const QString &a, const QString &b) {
    struct stat sa {}, sb {};
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The run time's open-for-reading test; a folder does not count.
bool CanOpenForReading(const QString &fileName) {
    if (fileName.isEmpty() || QFileInfo(fileName).isDir())
        return false;
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly);
}

// The part after the last separator.
QString LastComponent(const QString &path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

TThumbnail::TThumbnail(QWidget *AParent)
    : TCustomControl(AParent), FTileBitmap(std::make_unique<TBitmap>()),
      FImageInfo(std::make_unique<ImageInfo>()) {
    FFileName.clear();
    FBitmapSize = 80;
    FTileHeight = 100;
    ColorUp = clBtnFace();
    ColorDown = clBtnFace();
    FBorder = true;
    FShowLabel = true;
    Greyscale = false;
    FullSize = false;
    FDown = false;
    FReadCache = false;
    FWriteCache = false;
    FHasPicture = false;
    FExportBitmap.reset();
    FExportSize = 0;
    SetBounds(-120, -120, FBitmapSize + 8, FTileHeight);
}

TThumbnail::~TThumbnail() {
    // A library left loaded by an interrupted build is not kept past us.
    if (FLibrary)
        FreeLibrary(FLibrary);
}

void TThumbnail::WriteFileName(const QString &Value) {
    if (Value == FFileName)
        return;
    FFileName = Value;
    BuildThumbnail(FFileName);
    Repaint();
}

void TThumbnail::WriteDown(bool Value) {
    FDown = Value;
    SetColor(ColorUp);
    if (FDown)
        SetColor(ColorDown);
    Repaint();
}

void TThumbnail::WriteUseCache(bool Value) {
    FReadCache = Value;
    FWriteCache = Value;
}

void TThumbnail::WriteBitmapSize(int Value) {
    Value = std::clamp(Value, MinBitmapSize, MaxBitmapSize);
    if (Value == FBitmapSize)
        return;
    FBitmapSize = Value;
    FTileHeight = FShowLabel ? FBitmapSize + 20 : FBitmapSize + 8;
    if (FHasPicture) {
        if (UseCache())
            RefreshThumbnail();
        else
            BuildThumbnail(FFileName);
    }
}

void TThumbnail::WriteShowLabel(bool Value) {
    if (Value == FShowLabel)
        return;
    FShowLabel = Value;
    Repaint();
}

void TThumbnail::WriteBorder(bool Value) {
    if (Value == FBorder)
        return;
    FBorder = Value;
    Repaint();
}

void TThumbnail::RefreshThumbnail() {
    if (!FReadCache || FFileName.isEmpty())
        return;
    FReadCache = false;
    const auto restore = qScopeGuard([this] { FReadCache = true; });
    BuildThumbnail(FFileName);
}

bool TThumbnail::ExportThumbnail(const QString &FileName, int Size) {
    // 0 means no export; a negative size has no picture to give.
    if (Size <= 0)
        return false;
    const bool readCache = FReadCache;
    FExportSize = Size;
    FExportBitmap = std::make_unique<TBitmap>();
    FReadCache = false;
    // Also when writing the target fails: the tile leaves the export state.
    const auto restore = qScopeGuard([this, readCache] {
        FExportBitmap.reset();
        FReadCache = readCache;
        FExportSize = 0;
    });
    BuildThumbnail(FFileName);
    // A failed conversion leaves no picture: write no empty file.
    if (FExportBitmap->Empty())
        return false;
    FExportBitmap->SaveToFile(FileName);
    return true;
}

void TThumbnail::DeleteCacheFile() {
    if (!FCacheFile.isEmpty())
        DeleteFile(FCacheFile);
}

bool TThumbnail::SaveThumbnail(const QString &FileName) {
    const QString target = FileName.isEmpty() ? FCacheFile : FileName;
    if (target.isEmpty() || FTileBitmap->Empty())
        return false;
    try {
        FTileBitmap->SaveToFile(target);
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

QString TThumbnail::CacheFileName() const {
    QString cache = FFileName.left(FFileName.size() - FExtension.size()) + QStringLiteral("._tm");
    if (!CacheDirectory.isEmpty()) {
        QString folder = ExtractFilePath(FFileName);
        if (folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        cache = CacheDirectory + LastComponent(folder) + ExtractFileName(cache);
    }
    return cache;
}

QString TThumbnail::TempFolder() {
    const auto expand = [this](const char *reference) {
        const unsigned needed = ExpandEnvironmentStrings(reference, FTempDir, sizeof FTempDir);
        if (needed <= sizeof FTempDir)
            return QFile::decodeName(FTempDir);
        // A folder longer than the buffer: the whole of it, never a cut or
        // empty path (which would put the bitmap in the root folder).
        return QFile::decodeName(QByteArray::fromStdString(ExpandEnvironment(reference)));
    };
    QString folder = expand("%temp%");
    // An empty TEMP counts as unset, for the same reason.
    if (folder == QLatin1String("%temp%") || folder.isEmpty())
        folder = expand("%tmp%");
    if (folder.isEmpty())
        folder = QStringLiteral("%tmp%");
    return folder;
}

QString TThumbnail::TempFileName(const QString &Name) {
    const QString base = TempFolder() + QLatin1Char('/') + ExtractFileName(Name);
    const QString stem = base.left(base.size() - FExtension.size());
    QString temp = stem + QStringLiteral(".bmp");
    // A bitmap in the temporary folder would be converted onto itself and
    // then deleted: take the next free variant of the name instead.
    for (int n = 1; SameFile(temp, Name); ++n) {
        if (n > 100)
            return QString();
        temp = stem + QStringLiteral("~%1.bmp").arg(n);
    }
    return temp;
}

void TThumbnail::BuildThumbnail(const QString &Name) {
    // Reduced JPEG decodes for small tiles: 1 half, 2 quarter, 3 eighth.
    int jpegScale = FBitmapSize > 100 ? 1 : FBitmapSize >= 80 ? 2 : 3;
    int pcdCode = 1;
    const bool exporting = FExportSize != 0;
    if (exporting) {
        jpegScale = 2;
        pcdCode = 2;
    }
    if (FullSize)
        jpegScale = 0;

    // An export leaves the tile's own picture as it is: FTileBitmap is not
    // touched, so neither is what tells where and whether it is drawn.
    if (!exporting) {
        FWasCached = false;
        FHasPicture = false;
    }

    FFileName = Name;
    FLabel = ExtractFileName(FFileName);
    FExtension = ExtractFileExt(FFileName);
    // No name, no cache file: "._tm" alone would name a file in the current
    // folder. Nor is a picture ever its own cache file.
    FCacheFile = FFileName.isEmpty() ? QString() : CacheFileName();
    if (SameFile(FCacheFile, FFileName) || FCacheFile == FFileName)
        FCacheFile.clear();

    if (FReadCache && CanOpenForReading(FCacheFile)) {
        FTileBitmap->LoadFromFile(FCacheFile);
        FPictureLeft = (FBitmapSize - FTileBitmap->Width()) / 2 + 4;
        FPictureTop = (FBitmapSize - FTileBitmap->Height()) / 2 + 4;
        FWasCached = true;
        FHasPicture = true;
        return;
    }

    // Nothing to convert: no library, no temporary file.
    if (FFileName.isEmpty()) {
        Repaint();
        return;
    }

    FLibrary = LoadLibrary("qzgfx");
    if (!FLibrary)
        return;
    // Also when a loader error leaves the build: no library stays loaded.
    auto release = qScopeGuard([this] {
        FreeLibrary(FLibrary);
        FLibrary = nullptr;
    });

    FConvert = reinterpret_cast<TAnyToBmp>(
        GetProcAddress(FLibrary, Greyscale ? "_anytogrey" : "_anytobmps"));
    FPicValid = reinterpret_cast<TPicValid>(GetProcAddress(FLibrary, "_Pic_Valid"));
    if (FConvert && FPicValid) {
        FTempFile = TempFileName(Name);
        // Also when a loader error leaves the build: no temporary file stays.
        const auto removeTemp = qScopeGuard([this] {
            FFullBitmap.reset();
            if (!FTempFile.isEmpty())
                DeleteFile(FTempFile);
        });
        const QByteArray source = QFile::encodeName(Name);
        const QByteArray temp = QFile::encodeName(FTempFile);
        if (!FTempFile.isEmpty() && FPicValid(source.constData()) &&
            FConvert(source.constData(), temp.constData(), FImageInfo.get(), pcdCode, jpegScale)) {
            FFullBitmap = std::make_unique<TBitmap>();
            FFullBitmap->LoadFromFile(FTempFile);
            const int W = FFullBitmap->Width();
            const int H = FFullBitmap->Height();
            if (W > 0 && H > 0) {
                int w = 0, h = 0;
                ThumbnailSize(FBitmapSize, W, H, w, h);
                if (exporting) {
                    const int64_t ew = int64_t(FExportSize) * w / FBitmapSize;
                    const int64_t eh = int64_t(FExportSize) * h / FBitmapSize;
                    *FExportBitmap = CopyImage(*FFullBitmap, int(ew), int(eh));
                } else {
                    FPictureLeft = (FBitmapSize - w) / 2 + 4;
                    FPictureTop = (FBitmapSize - h) / 2 + 4;
                    *FTileBitmap = CopyImage(*FFullBitmap, w, h);
                    if (FWriteCache && !FCacheFile.isEmpty()) {
                        try {
                            FTileBitmap->SaveToFile(FCacheFile);
                        } catch (const std::exception &) {
                            // A cache that cannot be written is only a lost shortcut.
                        }
                    }
                    FHasPicture = true;
                }
            }
        }
    }
    release.dismiss();
    FreeLibrary(FLibrary);
    FLibrary = nullptr;
    Repaint();
}

void TThumbnail::DrawLabel() {
    TCanvas *canvas = Canvas();
    const int S = FBitmapSize;
    QString t = FLabel;
    int tw = canvas->TextWidth(t);
    int x0 = (S - tw) / 2;
    const int th = canvas->TextHeight(t);
    const int y = FTileHeight - th - 2;
    if (x0 < 4)
        x0 = 4;
    // Bounded by the text's length: an empty text always ends the loop.
    while (tw + x0 > S && !t.isEmpty()) {
        t.chop(t.size() >= 2 && t.back().isLowSurrogate() ? 2 : 1);
        if (t.size() > 4)
            t.replace(t.size() - 2, 2, QStringLiteral(".."));
        tw = canvas->TextWidth(t);
    }
    canvas->TextOut((S - tw) / 2 + 4, y, t);
}

void TThumbnail::Paint() {
    FTileHeight = FShowLabel ? FBitmapSize + 20 : FBitmapSize + 8;
    if (Width() != FBitmapSize + 8)
        SetWidth(FBitmapSize + 8);
    if (Height() != FTileHeight)
        SetHeight(FTileHeight);

    TCanvas *canvas = Canvas();
    canvas->Font = Font();
    canvas->Brush.Color = Color();

    TColor first, second;
    if (FBorder) {
        first = FDown ? cl3DDkShadow() : cl3DLight();
        second = FDown ? cl3DLight() : cl3DDkShadow();
    } else if (FDown) {
        first = second = cl3DDkShadow();
    } else {
        first = second = Color();
    }

    canvas->Pen.Mode = pmCopy;
    canvas->Pen.Color = first;
    canvas->MoveTo(0, Height());
    canvas->LineTo(0, 0);
    canvas->LineTo(Width() - 1, 0);
    canvas->Pen.Color = second;
    canvas->LineTo(Width() - 1, Height() - 1);
    canvas->LineTo(0, Height() - 1);

    if (!FLabel.isEmpty() && FShowLabel)
        DrawLabel();
    if (FHasPicture)
        canvas->Draw(FPictureLeft, FPictureTop, *FTileBitmap);
}

namespace thumb {
void Register() {
    RegisterComponents(QStringLiteral("QZ"), {QStringLiteral("TThumbnail")});
}
} // namespace thumb
