// System colours come from the application palette so they follow the style
// in use (tests pin Fusion, so they are fixed there).
#include "platform/types.h"

#include <QGuiApplication>
#include <QPalette>

namespace {
TColor PaletteColor(QPalette::ColorRole role) {
    return QGuiApplication::palette().color(QPalette::Active, role);
}
} // namespace

TColor clBtnFace() { return PaletteColor(QPalette::Button); }
TColor clWindow() { return PaletteColor(QPalette::Base); }
TColor clWindowText() { return PaletteColor(QPalette::Text); }
TColor cl3DLight() { return PaletteColor(QPalette::Midlight); }
TColor cl3DDkShadow() { return PaletteColor(QPalette::Shadow); }
TColor clBtnShadow() { return PaletteColor(QPalette::Dark); }
TColor clBtnHighlight() { return PaletteColor(QPalette::Light); }
