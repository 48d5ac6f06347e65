#pragma once

#include "app/window/FontDescription.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class InstallLayout;

// The digital clock's seven-segment face, carried inside the program as a font resource. Beside a
// portable program it is written once as "Segmatic.ttf" and added from there; an installed
// program, or one whose folder cannot take the file, adds it to this process from memory and
// writes nothing. The face is never put where other programs would find it.
class ClockFont
{
public:
    static constexpr const char* FileName = "Segmatic.ttf";
    static constexpr const char* FaceName = "Segmatic";

    // Add a font file, or a font held in memory; each returns the families it brings, none when
    // the font is refused.
    using FileAdder = std::function<QStringList(const QString& path)>;
    using DataAdder = std::function<QStringList(const QByteArray& data)>;
    using FontData = std::function<QByteArray()>;

    // The font file goes into the folder of a portable layout; an installed one has none. The
    // program's font resource and the process's font database.
    explicit ClockFont(const InstallLayout& layout);

    // The folder the file goes into; empty for none.
    void SetFolder(const QString& dir) { m_folder = dir; }
    void SetFontData(FontData data) { m_fontData = std::move(data); }
    void SetAdder(FileAdder adder) { m_addFile = std::move(adder); }
    void SetDataAdder(DataAdder adder) { m_addData = std::move(adder); }

    // Writes the font file into the folder unless one is there already. Failures pass silently:
    // Choose then adds the face from memory.
    void Install() const;

    // The clock's font, starting from the kept description (Tahoma bold at -11): Segmatic at cell
    // height 39 when the face is added, Tahoma bold at cell height 38 when there is nothing to
    // add, the kept description when adding it fails.
    FontDescription Choose(FontDescription kept) const;

private:
    QString FilePath() const;
    // The families the file beside the program brings, or else those of the resource added from
    // memory; nullopt when there is neither.
    std::optional<QStringList> AddFace() const;

    QString m_folder;
    FontData m_fontData;
    FileAdder m_addFile;
    DataAdder m_addData;
};
