#pragma once

#include "app/FontDescription.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// The digital clock's seven-segment face, carried inside the program as a font resource: it is
// written once as "Segmatic.ttf" beside the executable (the current directory at start-up) and
// added to this process's fonts from there.
class ClockFont
{
public:
    static constexpr const char* FileName = "Segmatic.ttf";
    static constexpr const char* FaceName = "Segmatic";

    // Adds a font file; returns the families it brings, none when it is refused.
    using FontAdder = std::function<QStringList(const QString& path)>;
    using FontData = std::function<QByteArray()>;

    // The current directory, the user's fonts folder, the program's font resource and the
    // process's font database.
    ClockFont();

    void SetCurrentDir(const QString& dir) { m_currentDir = dir; }
    void SetUserFontsDir(const QString& dir) { m_userFontsDir = dir; }
    void SetFontData(FontData data) { m_fontData = std::move(data); }
    void SetAdder(FontAdder adder) { m_addFont = std::move(adder); }

    // Writes the font file into the current directory unless one is there already; when that
    // directory cannot take it, into the user's fonts folder. Failures pass silently.
    void Install() const;

    // The clock's font, starting from the kept description (Tahoma bold at -11): Segmatic at cell
    // height 39 when the file beside the executable is added, Tahoma bold at cell height 38 when
    // there is no such file, the kept description when adding it fails.
    FontDescription Choose(FontDescription kept) const;

    // $XDG_DATA_HOME/fonts, or ~/.local/share/fonts.
    static QString DefaultUserFontsDir();

private:
    QString FilePath() const;

    QString m_currentDir;
    QString m_userFontsDir;
    FontData m_fontData;
    FontAdder m_addFont;
};
