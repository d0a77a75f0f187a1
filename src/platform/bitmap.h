// TBitmap: a picture held as a QImage, loaded from and saved to Windows BMP
// files. A load error raises EPlatformError.
#pragma once

#include <QImage>
#include <QString>

class TBitmap {
public:
    TBitmap() = default;
    explicit TBitmap(const QImage &image) : FImage(image) {}

    // Throws EPlatformError ("Bitmap image is not valid" / the file's name)
    // when the file cannot be read as a picture. A 24-bit file gives a
    // Format_BGR888 image (its rows as stored), an 8-bit one Format_Indexed8,
    // or Format_Grayscale8 when its colour table is the plain grey ramp.
    void LoadFromFile(const QString &fileName);
    // Writes a Windows BMP; throws EPlatformError when it cannot be written.
    void SaveToFile(const QString &fileName) const;

    int Width() const { return FImage.width(); }
    int Height() const { return FImage.height(); }
    void SetSize(int width, int height);  // keeps no pixels; fills white
    bool Empty() const { return FImage.isNull(); }
    void Assign(const TBitmap &other) { FImage = other.FImage; }
    void Clear() { FImage = QImage(); }

    const QImage &Image() const { return FImage; }
    QImage &Image() { return FImage; }
    void SetImage(const QImage &image) { FImage = image; }

private:
    QImage FImage;
};

// A plain stretch of a bitmap to width x height (no smoothing); a requested
// side of 0 keeps the source's length.
TBitmap CopyImage(const TBitmap &source, int width, int height);
