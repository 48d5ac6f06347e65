#pragma once

#include <QByteArray>
#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QString>

// Finds the program's embedded resources by their numeric identifiers (res/resource.h).
class ResourceLoader
{
public:
    // The Qt resource path of an id (":/..."), or an empty string when there is none.
    static QString Path(int id);
    // A bitmap; a null image for an unknown id. For a screen of a device pixel ratio above 1 the
    // drawing made at twice the density (NAME@2x.png beside NAME.bmp) with its ratio set to 2, so
    // that it covers the same logical pixels; the 1x bitmap where there is no such drawing.
    static QImage LoadBitmap(int id, qreal devicePixelRatio = 1.0);
    // The resource path of a bitmap's or cursor's drawing at twice the density; empty when there
    // is none.
    static QString Path2x(int id);
    // A cursor with the hot spot stored in its file; the arrow cursor for an unknown id. Above a
    // device pixel ratio of 1 the cursor drawn at twice the density (NAME@2x.cur), where there is
    // one: the window system shows a cursor in its own pixels.
    static QCursor LoadCursor(int id, qreal devicePixelRatio = 1.0);
    // Every size an icon group holds; an empty icon for an unknown id.
    static QIcon LoadIcon(int id);
    // Raw bytes of a resource of a custom type, for example LoadData(RT_TTF, IDR_SEGMATIC).
    static QByteArray LoadData(const char* type, int id);
    // A string of the string table; empty for an unknown id.
    static QString LoadString(int id);
};
