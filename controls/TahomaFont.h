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
    static QFont Font(int nLogHeight, QFont::Weight weight = QFont::Normal,
                      bool bUnderline = false);

    // Gives any font the size a LOGFONT height describes (see Font).
    static void SetLogHeight(QFont& font, int nLogHeight);

private:
    static QString FindFamily();
    // The em in pixels for a cell height, by the OS/2 table; 0 when the face has none.
    static int EmForCell(const QFont& font, int nCellHeight);
    static int MetricsEmForCell(const QFont& font, int nCellHeight);
};
