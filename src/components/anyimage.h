// TAnyImage: an image control that shows a picture file of any format the
// graphics library reads, through a temporary bitmap the library writes.
#pragma once

#include "graphics.h"
#include "platform/dynlib.h"
#include "platform/image.h"

#include <QString>
#include <memory>

enum Jpegscale { jsFull, jsHalf, jsQuarter };
enum Pcdsize { p192x128, p384x256, p768x512 };

class TAnyImage : public TImage {
    Q_OBJECT
public:
    explicit TAnyImage(QWidget *AParent = nullptr);
    ~TAnyImage() override;

    Jpegscale JpegScale() const { return FJpegScale; }
    Pcdsize PCDSize() const { return FPCDSize; }
    QString FileName() const { return FFileName; }
    bool TruColor() const { return FTruColor; }
    bool AutoFlush() const { return FAutoFlush; }
    bool CenterOnParent() const { return FCenterOnParent; }
    bool Proportional() const { return FProportional; }

    virtual void WriteFileName(const QString &Value);
    virtual void WriteJpegScale(int Value);
    virtual void WritePCDSize(int Value);
    virtual void WriteTruColor(bool Value);
    virtual void WriteAutoFlush(bool Value);
    virtual void WriteProportional(bool Value);
    virtual void WriteCenterOnParent(bool Value);
    virtual void FitProportional();

    void ReleaseLibrary();
    bool LibraryLoaded() const { return FLibrary != nullptr; }
    const ImageInfo *Info() const { return FInfo.get(); }
    QString TempFolder() const { return FTempFolder; }

protected:
    void LoadImageFile(const QString &Name);

private:
    HMODULE FLibrary = nullptr;
    TAnyToBmp FConvert = nullptr;
    TPicValid FPicValid = nullptr;
    QString FTempBitmap;
    QString FFileName;
    QString FExtension;
    std::unique_ptr<ImageInfo> FInfo;
    Jpegscale FJpegScale = jsFull;
    Pcdsize FPCDSize = p768x512;
    bool FTruColor = true;
    bool FAutoFlush = true;
    bool FProportional = true;
    bool FCenterOnParent = true;
    char FExpandBuffer[251] = {};
    QString FTempFolder;
};

// Puts the class on the component palette page "QZ".
namespace anyimage {
void Register();
}
