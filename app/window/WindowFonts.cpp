#include "app/window/WindowFonts.h"

#include "app/window/ClockFont.h"
#include "app/window/FontDescription.h"
#include "controls/TahomaFont.h"

namespace
{

FontDescription NormalDescription(const QString& tahomaFamily)
{
    FontDescription description;
    description.height = -11;
    description.weight = 400;
    description.sansFamily = true;
    description.face = tahomaFamily;
    return description;
}

} // namespace

WindowFonts WindowFonts::Create(const QString& tahomaFamily, const ClockFont& clockFont)
{
    FontDescription description = NormalDescription(tahomaFamily);
    WindowFonts fonts;
    fonts.normal = description.CreateFont();
    description.weight = 700;
    fonts.bold = description.CreateFont();
    CTahomaFont::UseBitmapStrikes(fonts.bold);

    clockFont.Install();
    fonts.clock = clockFont.Choose(description).CreateFont();
    return fonts;
}

QFont WindowFonts::Normal(const QString& tahomaFamily)
{
    return NormalDescription(tahomaFamily).CreateFont();
}
