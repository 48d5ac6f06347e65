#pragma once

#include <QFont>
#include <QString>

class ClockFont;

// The main window's three fonts: Tahoma regular for the server selector, Tahoma bold for the log
// pane, and the digital clock's.
struct WindowFonts {
    QFont normal;
    QFont bold;
    QFont clock;

    // Both Tahoma fonts come from one description (character height 11); the clock's starts from
    // the bold one. Installs the clock font file on the way.
    static WindowFonts Create(const QString& tahomaFamily, const ClockFont& clockFont);
    // The regular one alone, which the window gives its controls before they are made.
    static QFont Normal(const QString& tahomaFamily);
};
