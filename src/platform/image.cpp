#include "platform/image.h"

TImage::TImage(QWidget *AParent) : TCustomControl(AParent) {
    FPicture.OnChange = [this] { PictureChanged(); };
}

TImage::~TImage() { FPicture.OnChange = nullptr; }

void TImage::SetAutoSize(bool value) {
    if (value == FAutoSize)
        return;
    FAutoSize = value;
    if (FAutoSize)
        PictureChanged();
}

void TImage::SetStretch(bool value) {
    if (value == FStretch)
        return;
    FStretch = value;
    update();
}

void TImage::SetCenter(bool value) {
    if (value == FCenter)
        return;
    FCenter = value;
    update();
}

void TImage::PictureChanged() {
    const int w = FPicture.Width(), h = FPicture.Height();
    if (FAutoSize && w > 0 && h > 0 && (w != width() || h != height()))
        SetBounds(Left(), Top(), w, h);
    update();
}

void TImage::Paint() {
    if (FPicture.kind() == TPicture::None)
        return;
    TCanvas *canvas = Canvas();
    const QImage image = FPicture.kind() == TPicture::Bitmap ? FPicture.bitmap().Image() : FPicture.ToImage();
    if (image.isNull())
        return;
    if (FStretch) {
        canvas->StretchDrawImage(rect(), image);
    } else if (FCenter) {
        canvas->DrawImage((width() - image.width()) / 2, (height() - image.height()) / 2, image);
    } else {
        canvas->DrawImage(0, 0, image);
    }
}
