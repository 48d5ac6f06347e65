#include "app/FontDescription.h"

#include "controls/TahomaFont.h"

QFont FontDescription::CreateFont() const
{
    QFont font(face);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setFixedPitch(fixedPitch);
    if (romanFamily) {
        font.setStyleHint(QFont::Serif, QFont::PreferQuality);
    } else {
        font.setStyleStrategy(QFont::PreferQuality);
    }
    CTahomaFont::SetLogHeight(font, height);
    return font;
}
