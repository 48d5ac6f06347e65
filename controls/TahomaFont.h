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
    // the cell height in pixels as the face's Windows metrics give it (usWinAscent +
    // usWinDescent); zero keeps the default size.
    static QFont Font(int nLogHeight, QFont::Weight weight, bool bUnderline);

    // Gives any font the size a LOGFONT height describes (see Font).
    static void SetLogHeight(QFont& font, int nLogHeight);

    // The cell height in pixels, as the face's Windows metrics give it at the font's size: the
    // line pitch of an edit control in this font. Qt's own line height where the face has no
    // such metrics.
    static int CellHeight(const QFont& font);
    // Draws the font from the face's bitmap strikes (no antialiasing): the bold Tahoma-compatible
    // face of fonts-wine has the regular's outlines, and only its strikes are really bold.
    static void UseBitmapStrikes(QFont& font);

private:
    // Adds the Wine faces unless a Tahoma is installed; the family name either way.
    static QString AddFacesOnce();
    // The em in pixels for a cell height, by the OS/2 table; 0 when the face has none.
    static int EmForCell(const QFont& font, int nCellHeight);
    // usWinAscent + usWinDescent in font units over the units per em; 0 without an OS/2 table.
    static double CellPerEm(const QFont& font);
    static int MetricsEmForCell(const QFont& font, int nCellHeight);
};
