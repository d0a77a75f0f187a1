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
public:
    explicit TThumbnail(QWidget *AParent = nullptr);
    ~TThumbnail() override;

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
    // Writes the picture scaled to size as a bitmap file.
    bool ExportThumbnail(const QString &FileName, int Size);
    void DeleteCacheFile();
    bool SaveThumbnail(const QString &FileName);

    const TBitmap &TileBitmap() const { return *FTileBitmap; }
    bool HasPicture() const { return FHasPicture; }

protected:
    void Paint() override;
    void BuildThumbnail(const QString &Name);

private:
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
