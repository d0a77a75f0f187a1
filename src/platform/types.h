// Small shared types of the platform layer: mouse buttons, shift state,
// cursor identifiers, colours and event signatures as the controls use them.
#pragma once

#include <QColor>
#include <QFlags>
#include <functional>

class QObject;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftFlag {
    ssShift = 0x01, ssAlt = 0x02, ssCtrl = 0x04,
    ssLeft = 0x08, ssRight = 0x10, ssMiddle = 0x20, ssDouble = 0x40
};
using TShiftState = int;  // an or of TShiftFlag values

// Cursor identifiers keep their numeric values; controls map them to Qt's.
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crHourGlass = -11;

using TColor = QColor;

// System colours, read from the application palette at the time of the call.
TColor clBtnFace();    // QPalette::Button
TColor clWindow();     // QPalette::Base
TColor clWindowText(); // QPalette::Text
TColor cl3DLight();    // QPalette::Midlight
TColor cl3DDkShadow(); // QPalette::Shadow
TColor clBtnShadow();  // QPalette::Dark
TColor clBtnHighlight(); // QPalette::Light

using TNotifyEvent = std::function<void(QObject *Sender)>;
using TMouseEvent = std::function<void(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(QObject *Sender, TShiftState Shift, int X, int Y)>;
