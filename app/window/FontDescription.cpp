#include "app/window/FontDescription.h"

#include "controls/TahomaFont.h"

QFont FontDescription::CreateFont() const
{
    QFont font(face);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setFixedPitch(fixedPitch);
    // Tahoma stands for a sans face; a family hint of roman would make a font matcher pick a
    // serif face.
    font.setStyleHint(sansFamily ? QFont::SansSerif : QFont::AnyStyle, QFont::PreferQuality);
    CTahomaFont::SetLogHeight(font, height);
    return font;
}
