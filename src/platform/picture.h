// TPicture: the graphic an image control shows: a bitmap, an icon or a
// metafile, chosen by the file's extension in any letter case.
#pragma once

#include "platform/bitmap.h"

#include <QIcon>
#include <QImage>
#include <QString>
#include <functional>

class TIcon {
public:
    void LoadFromFile(const QString &fileName); // throws EPlatformError when unreadable
    bool Empty() const { return FIcon.isNull(); }
    int Width() const { return FSize.width(); }
    int Height() const { return FSize.height(); }
    void Assign(const TIcon &other) { FIcon = other.FIcon; FSize = other.FSize; }
    void SetIcon(const QIcon &icon, QSize size = QSize(32, 32)) { FIcon = icon; FSize = icon.isNull() ? QSize() : size; }
    const QIcon &Icon() const { return FIcon; }
    QImage ToImage(int size) const; // the icon's pixels at size x size

private:
    QIcon FIcon;
    QSize FSize;
};

class TPicture {
public:
    enum Kind { None, Bitmap, Icon, Metafile };

    // .BMP -> bitmap, .ICO -> icon, .WMF/.EMF -> metafile (no reader on this
    // platform: raises EPlatformError), anything else raises EPlatformError
    // ("Unknown picture file extension (.xyz)"). On error the old graphic stays.
    void LoadFromFile(const QString &fileName);
    void Clear();

    Kind kind() const { return FKind; }
    int Width() const;   // 0 when empty
    int Height() const;
    const TBitmap &bitmap() const { return FBitmap; }
    const TIcon &icon() const { return FIcon; }
    // The graphic as an image at its natural size (null when empty).
    QImage ToImage() const;

    // Called after every change of the graphic.
    std::function<void()> OnChange;

private:
    Kind FKind = None;
    TBitmap FBitmap;
    TIcon FIcon;
};
