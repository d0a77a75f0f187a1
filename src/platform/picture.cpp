// Pictures by file extension. A failed load throws and leaves the graphic
// that was there before.
#include "platform/picture.h"

#include "platform/application.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmap>

void TIcon::LoadFromFile(const QString &fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EPlatformError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
    QImageReader reader(&file, "ico");
    reader.setDecideFormatFromContent(false);
    // Every size the file holds goes into the icon; the first entry gives
    // the icon's own size.
    QIcon icon;
    QSize first;
    const int count = qMax(1, reader.imageCount());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        QImage image;
        if (!reader.read(&image) || image.isNull())
            break;
        if (!first.isValid())
            first = image.size();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    if (icon.isNull() || !first.isValid())
        throw EPlatformError(QStringLiteral("Icon image is not valid"));
    FIcon = icon;
    FSize = first;
}

QImage TIcon::ToImage(int size) const {
    if (FIcon.isNull() || size <= 0)
        return QImage();
    QImage image = FIcon.pixmap(QSize(size, size), 1.0).toImage();
    // QIcon does not scale a pixmap up; the result must be size x size.
    if (image.size() != QSize(size, size))
        image = image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

void TPicture::LoadFromFile(const QString &fileName) {
    const QString ext = QFileInfo(fileName).suffix().toUpper();
    if (ext == QLatin1String("BMP")) {
        TBitmap bitmap;
        bitmap.LoadFromFile(fileName);
        FBitmap = bitmap;
        FIcon = TIcon();
        FKind = Bitmap;
    } else if (ext == QLatin1String("ICO")) {
        TIcon icon;
        icon.LoadFromFile(fileName);
        FIcon = icon;
        FBitmap.Clear();
        FKind = Icon;
    } else if (ext == QLatin1String("WMF") || ext == QLatin1String("EMF")) {
        throw EPlatformError(QStringLiteral("Cannot load metafile \"%1\": metafiles are not supported on this platform")
                                 .arg(fileName));
    } else {
        throw EPlatformError(QStringLiteral("Unknown picture file extension (.%1)").arg(QFileInfo(fileName).suffix()));
    }
    if (OnChange)
        OnChange();
}

void TPicture::Clear() {
    FKind = None;
    FBitmap.Clear();
    FIcon = TIcon();
    if (OnChange)
        OnChange();
}

int TPicture::Width() const {
    switch (FKind) {
    case Bitmap: return FBitmap.Width();
    case Icon: return FIcon.Width();
    default: return 0;
    }
}

int TPicture::Height() const {
    switch (FKind) {
    case Bitmap: return FBitmap.Height();
    case Icon: return FIcon.Height();
    default: return 0;
    }
}

QImage TPicture::ToImage() const {
    switch (FKind) {
    case Bitmap: return FBitmap.Image();
    case Icon: {
        if (FIcon.Empty())
            return QImage();
        QImage image = FIcon.Icon().pixmap(QSize(FIcon.Width(), FIcon.Height()), 1.0).toImage();
        if (image.size() != QSize(FIcon.Width(), FIcon.Height()))
            image = image.scaled(FIcon.Width(), FIcon.Height(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return image;
    }
    default: return QImage();
    }
}
