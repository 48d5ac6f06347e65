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
    // A bitmap; a null image for an unknown id.
    static QImage LoadBitmap(int id);
    // A cursor with the hot spot stored in its file; the arrow cursor for an unknown id.
    static QCursor LoadCursor(int id);
    // Every size an icon group holds; an empty icon for an unknown id.
    static QIcon LoadIcon(int id);
    // Raw bytes of a resource of a custom type, for example LoadData(RT_TTF, IDR_SEGMATIC).
    static QByteArray LoadData(const char* type, int id);
    // A string of the string table; empty for an unknown id.
    static QString LoadString(int id);
};
