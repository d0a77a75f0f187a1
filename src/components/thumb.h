// TThumbnail: a framed tile showing one picture file scaled into a square,
// built through the graphics library, with an optional cache file.
#pragma once

#include "graphics.h"
#include "platform/bitmap.h"
#include "platform/controls.h"
#include "platform/dynlib.h"

#include <QString>
#include <memory>

class TThumbnail : public TCustomControl {
    Q_OBJECT
    // Published, in the order a form description stores and reads them.
    Q_PROPERTY(QColor ColorUp MEMBER ColorUp)
    Q_PROPERTY(QColor ColorDown MEMBER ColorDown)
    Q_PROPERTY(QString FileName READ FileName WRITE WriteFileName)
    Q_PROPERTY(QString CacheDirectory MEMBER CacheDirectory)
    Q_PROPERTY(bool Down READ Down WRITE WriteDown)
    Q_PROPERTY(bool UseCache READ UseCache WRITE WriteUseCache)
    Q_PROPERTY(bool WasCached READ WasCached STORED false)
    Q_PROPERTY(bool ShowLabel READ ShowLabel WRITE WriteShowLabel)
    Q_PROPERTY(int BitmapSize READ BitmapSize WRITE WriteBitmapSize)
    Q_PROPERTY(bool Border READ Border WRITE WriteBorder)
    Q_PROPERTY(bool Greyscale MEMBER Greyscale)
    Q_PROPERTY(bool FullSize MEMBER FullSize)
public:
    explicit TThumbnail(QWidget *AParent = nullptr);
    ~TThumbnail() override;

    // BitmapSize is kept within these bounds: below 4 the label can never
    // fit; above the library's largest side a tile makes no sense, and the
    // bound keeps the tile's sums and products in range.
    static constexpr int MinBitmapSize = 4;
    static constexpr int MaxBitmapSize = 65535;

    TColor ColorUp;
    TColor ColorDown;
    QString CacheDirectory;
    bool Greyscale = false;
    bool FullSize = false;

    QString FileName() const { return FFileName; }
    bool Down() const { return FDown; }
    bool UseCache() const { return FReadCache; }
    bool WasCached() const { return FWasCached; }
    bool ShowLabel() const { return FShowLabel; }
    int BitmapSize() const { return FBitmapSize; }
    bool Border() const { return FBorder; }

    virtual void WriteFileName(const QString &Value);
    virtual void WriteDown(bool Value);
    virtual void WriteUseCache(bool Value);
    virtual void WriteBitmapSize(int Value);
    virtual void WriteShowLabel(bool Value);
    virtual void WriteBorder(bool Value);

    void RefreshThumbnail();
    // Writes the picture scaled to size as a bitmap file. False when Size is
    // not positive or the picture could not be converted (nothing written);
    // an error writing the file propagates.
    bool ExportThumbnail(const QString &FileName, int Size);
    void DeleteCacheFile();
    // False when nothing was written (no picture, no name, write error).
    bool SaveThumbnail(const QString &FileName);

    const TBitmap &TileBitmap() const { return *FTileBitmap; }
    bool HasPicture() const { return FHasPicture; }
    // What the last build used and left: for inspection, never changed here.
    const ImageInfo *Info() const { return FImageInfo.get(); }
    QString CacheFile() const { return FCacheFile; }
    QString TempFile() const { return FTempFile; }

protected:
    void Paint() override;
    void BuildThumbnail(const QString &Name);

private:
    QString CacheFileName() const;
    QString TempFolder();
    QString TempFileName(const QString &Name);
    void DrawLabel();

    std::unique_ptr<TBitmap> FTileBitmap;
    std::unique_ptr<TBitmap> FFullBitmap;
    std::unique_ptr<TBitmap> FExportBitmap;
    HMODULE FLibrary = nullptr;
    TAnyToBmp FConvert = nullptr;
    TPicValid FPicValid = nullptr;
    QString FTempFile;
    QString FFileName;
    QString FLabel;
    QString FExtension;
    QString FCacheFile;
    char FTempDir[256] = {};
    std::unique_ptr<ImageInfo> FImageInfo;
    int FExportSize = 0;
    int FBitmapSize = 80;
    int FTileHeight = 100;
    int FPictureTop = 0;
    int FPictureLeft = 0;
    bool FHasPicture = false;
    bool FDown = false;
    bool FReadCache = false;
    bool FWriteCache = false;
    bool FWasCached = false;
    bool FShowLabel = true;
    bool FBorder = true;
};

// Puts the class on the component palette page "QZ".
namespace thumb {
void Register();
}
