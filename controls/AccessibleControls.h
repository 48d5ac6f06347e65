#pragma once

#include <QColor>

// What assistive technology reads of the skinned controls that Qt knows nothing about: the
// analogue clock is a clock whose value is the time it shows, a link label is a link that can
// be pressed. Installed once, by the first such control made.
namespace AccessibleControls
{

void Install();

// The link colour for a background: the pure blue links have always had where it stands out
// enough (a contrast of at least 4.5:1), otherwise blue mixed towards white or black until it
// does, so links stay readable under dark desktop themes.
QColor LinkColourOn(const QColor& background);
// The contrast ratio of two colours (1 to 21), from their relative luminance.
double Contrast(const QColor& a, const QColor& b);

} // namespace AccessibleControls
