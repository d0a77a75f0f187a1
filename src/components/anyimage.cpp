#include "components/anyimage.h"

#include "platform/component.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/stdctrls.h"

#include <QApplication>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// The expansion is offered 250 characters of the buffer.
constexpr unsigned ExpandOffered = 250;

// The client size of the control the image sits in. A child of a scroll
// box lives in the box's content widget, which grows with its children; the
// box's visible area is what it is centred in.
QSize ParentClientSize(const QWidget *parent)
{
    if (const QWidget *viewport = parent->parentWidget()) {
        if (const auto *box = qobject_cast<const TScrollBox *>(viewport->parentWidget())) {
            if (box->Content() == parent)
                return QSize(box->ClientWidth(), box->ClientHeight());
        }
    }
    return parent->contentsRect().size();
}

} // namespace

TAnyImage::TAnyImage(QWidget *AParent)
    : TImage(AParent)
    , FInfo(std::make_unique<ImageInfo>())
{
    std::memset(FInfo.get(), 0, sizeof(ImageInfo));
    FPCDSize = p768x512;
    FJpegScale = jsFull;
    FCenterOnParent = true;
    FAutoFlush = true;
    FTruColor = true;
    FProportional = true;
    if (!ExpandFolderVariable("%temp%", FExpandBuffer, ExpandOffered))
        ExpandFolderVariable("%tmp%", FExpandBuffer, ExpandOffered);
    FTempFolder = QString::fromLocal8Bit(FExpandBuffer);
    if (!FTempFolder.endsWith(QLatin1Char('/')))
        FTempFolder += QLatin1Char('/');
}

TAnyImage::~TAnyImage()
{
    ReleaseLibrary();
    FInfo.reset();
}

void TAnyImage::WriteFileName(const QString &Value)
{
    if (Value == FFileName)
        return;
    FFileName = Value;
    LoadImageFile(Value);
}

void TAnyImage::WriteJpegScale(int Value)
{
    if (Value == FJpegScale)
        return;
    FJpegScale = static_cast<Jpegscale>(qBound(0, Value, 2));
    if (FExtension == QLatin1String(".JPG"))
        LoadImageFile(FFileName);
}

void TAnyImage::WritePCDSize(int Value)
{
    if (Value == FPCDSize)
        return;
    FPCDSize = static_cast<Pcdsize>(qBound(0, Value, 2));
    if (FExtension == QLatin1String(".PCD"))
        LoadImageFile(FFileName);
}

void TAnyImage::WriteTruColor(bool Value)
{
    if (Value == FTruColor)
        return;
    FTruColor = Value;
    LoadImageFile(FFileName);
}

void TAnyImage::WriteAutoFlush(bool Value)
{
    FAutoFlush = Value;
    ReleaseLibrary();
}

void TAnyImage::WriteProportional(bool Value)
{
    FProportional = Value;
    if (FProportional) {
        SetAutoSize(false);
        SetStretch(true);
        FitProportional();
    }
}

void TAnyImage::WriteCenterOnParent(bool Value)
{
    if (Value == FCenterOnParent)
        return;
    FCenterOnParent = Value;
    if (FCenterOnParent)
        LoadImageFile(FFileName);
}

void TAnyImage::FitProportional()
{
    const int pw = Picture()->Width();
    const int ph = Picture()->Height();
    // An empty picture (or one with a zero side) has no aspect ratio to fit:
    // the bounds stay as they are.
    if (pw <= 0 || ph <= 0)
        return;
    const double widthPerHeight = static_cast<double>(pw) / ph;
    const double heightPerWidth = static_cast<double>(ph) / pw;

    int newWidth;
    int newHeight = Height();
    // Truncated first, then compared as a double: a tall control and a wide
    // picture can give a width beyond the range of int, which then is never
    // the one kept; a width that truncates to the control's own still fits.
    const double fullWidth = std::trunc(Height() * widthPerHeight);
    if (fullWidth > Width()) {
        newHeight = static_cast<int>(Width() * heightPerWidth);
        newWidth = Width();
    } else {
        newWidth = static_cast<int>(fullWidth);
    }

    // Without a parent there is nothing to centre in; the position stays.
    if (FCenterOnParent && parentWidget()) {
        const QSize client = ParentClientSize(parentWidget());
        if (newWidth < client.width())
            SetLeft((client.width() - newWidth) / 2);
        if (newHeight < client.height())
            SetTop((client.height() - newHeight) / 2);
    }
    if (newWidth != Width())
        SetWidth(newWidth);
    if (newHeight != Height())
        SetHeight(newHeight);
}

void TAnyImage::ReleaseLibrary()
{
    // The routines belong to the library: they go with it.
    FConvert = nullptr;
    FPicValid = nullptr;
    if (FLibrary) {
        FreeLibrary(FLibrary);
        FLibrary = nullptr;
    }
}

void TAnyImage::LoadImageFile(const QString &Name)
{
    FFileName = Name;
    // Locale-blind upper-casing: the extensions compared are ASCII, and a
    // Turkish locale would turn ".ico" into ".İCO".
    FExtension = ExtractFileExt(Name).toUpper();

    if (FExtension == QLatin1String(".ICO") || FExtension == QLatin1String(".WMF")
        || FExtension == QLatin1String(".EMF")) {
        Picture()->LoadFromFile(Name);
        return;
    }

    FInfo->ReadFlags = 0;

    if (!FLibrary) {
        FLibrary = LoadLibrary("qzgfx");
        if (!FLibrary) {
            MessageBox(QApplication::focusWidget(), QStringLiteral("Cannot find qzgfx.dll"),
                       QStringLiteral("AnyImage"), MB_ICONERROR);
            return;
        }
    }

    FConvert = reinterpret_cast<TAnyToBmp>(GetProcAddress(FLibrary, FTruColor ? "_anytobmps" : "_anyto256"));
    FPicValid = reinterpret_cast<TPicValid>(GetProcAddress(FLibrary, "_Pic_Valid"));
    if (!FConvert || !FPicValid) {
        MessageBox(QApplication::focusWidget(), QStringLiteral("Cannot find Routine"), QStringLiteral("QZGfx"),
                   MB_ICONERROR);
    } else {
        QString baseName = ExtractFileName(Name);
        baseName.chop(ExtractFileExt(baseName).size());
        FTempBitmap = FTempFolder + QLatin1Char('x') + baseName + QStringLiteral(".bmp");

        const QByteArray source = QFile::encodeName(Name);
        const QByteArray bitmap = QFile::encodeName(FTempBitmap);
        if (FPicValid(source.constData())) {
            if (FConvert(source.constData(), bitmap.constData(), FInfo.get(), FPCDSize + 1, FJpegScale)) {
                // A bitmap the platform cannot read still must not outlive
                // the load, nor keep the library held: clean up, then let
                // the error go on to whoever assigned the property.
                try {
                    Picture()->LoadFromFile(FTempBitmap);
                } catch (...) {
                    DeleteFile(FTempBitmap);
                    if (FAutoFlush)
                        ReleaseLibrary();
                    throw;
                }
                if (FProportional)
                    FitProportional();
            }
        }
        DeleteFile(FTempBitmap);
    }

    if (FAutoFlush)
        ReleaseLibrary();
}

namespace anyimage {
void Register()
{
    RegisterComponents(QStringLiteral("QZ"), {QStringLiteral("TAnyImage")});
}
} // namespace anyimage
