#include "app/FontDescription.h"

#include "controls/TahomaFont.h"

QFont FontDescription::CreateFont() const
{
    QFont font(face);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setFixedPitch(fixedPitch);
    // Tahoma stands for a sans face: the old family bits called it roman, which a font matcher
    // would read as serif.
    font.setStyleHint(sansFamily ? QFont::SansSerif : QFont::AnyStyle, QFont::PreferQuality);
    CTahomaFont::SetLogHeight(font, height);
    return font;
}
