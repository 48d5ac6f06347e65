#pragma once

#include <QFont>
#include <QString>

// The window's fonts are described the way its design gives them; CreateFont turns a description
// into a QFont. A negative height is the character (em) height in pixels, a positive one the cell
// height (ascent plus descent) in pixels, met by the largest size that does not exceed it; zero
// is the default size.
struct FontDescription {
    int height = 0;
    int weight = 400; // 100 to 900: 400 regular, 700 bold
    bool fixedPitch{};
    bool sansFamily = false; // the family hint when the face itself is missing: a sans face
    QString face;

    QFont CreateFont() const;
};
