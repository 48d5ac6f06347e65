#pragma once

#include <QFont>
#include <QString>

// Finds the "Tahoma" face for the controls and the main window: the installed one, else the
// free Tahoma-compatible face of Debian's fonts-wine (added to this process once), else the name
// itself so that fontconfig picks its substitute.
class CTahomaFont
{
public:
    // The family name to ask for.
    static QString Family();

    // A Tahoma font from a LOGFONT-style height: negative is the em height in pixels, positive
    // the cell height (ascent + descent) in pixels, met by the largest em whose cell fits;
    // zero keeps the default size.
    static QFont Font(int nLogHeight, QFont::Weight weight = QFont::Normal,
                      bool bUnderline = false);

    // Gives any font the size a LOGFONT height describes (see Font).
    static void SetLogHeight(QFont& font, int nLogHeight);

private:
    static QString FindFamily();
};
