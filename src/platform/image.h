// TImage: a control that shows a TPicture; AutoSize fits the control to the
// picture (when both sides are above 0), Stretch draws it scaled to the
// control, Center centres it when not stretched.
#pragma once

#include "platform/controls.h"
#include "platform/picture.h"

class TImage : public TCustomControl {
    Q_OBJECT
public:
    explicit TImage(QWidget *AParent = nullptr);
    ~TImage() override;

    TPicture *Picture() { return &FPicture; }
    const TPicture *Picture() const { return &FPicture; }

    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);   // turning it on sizes the control at once
    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    bool Center() const { return FCenter; }
    void SetCenter(bool value);

protected:
    void Paint() override;
    virtual void PictureChanged(); // AutoSize, then repaint

private:
    TPicture FPicture;
    bool FAutoSize = false;
    bool FStretch = false;
    bool FCenter = false;
};
