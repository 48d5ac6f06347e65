#include "app/ClockFont.h"

#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QSaveFile>

namespace
{

QStringList AddToFontDatabase(const QString& path)
{
    const int id = QFontDatabase::addApplicationFont(path);
    return id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
}

// Writes through a temporary file renamed into place, so that a write cut short (a full disk)
// leaves no truncated font behind that later starts would keep and fail to add.
bool WriteWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool HoldsBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.size() == bytes.size() && file.readAll() == bytes;
}

} // namespace

ClockFont::ClockFont()
    : m_currentDir(QDir::currentPath()), m_userFontsDir(DefaultUserFontsDir()),
      m_fontData([] { return ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC); }),
      m_addFont(AddToFontDatabase)
{
}

QString ClockFont::DefaultUserFontsDir()
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!QDir::isAbsolutePath(dataHome)) {
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return dataHome + QStringLiteral("/fonts");
}

QString ClockFont::FilePath() const
{
    return QDir(m_currentDir).filePath(QString::fromLatin1(FileName));
}

void ClockFont::Install() const
{
    // A file already there is kept as it is, whatever it holds.
    if (QFileInfo::exists(FilePath())) {
        return;
    }
    const QByteArray bytes = m_fontData();
    if (bytes.isEmpty()) {
        return;
    }
    if (WriteWhole(FilePath(), bytes)) {
        return;
    }
    // The fonts-folder copy is not used by this start (Choose looks beside the executable only);
    // an identical one from an earlier start is left alone rather than written on every start.
    const QString fallback = QDir(m_userFontsDir).filePath(QString::fromLatin1(FileName));
    if (HoldsBytes(fallback, bytes) || !QDir().mkpath(m_userFontsDir)) {
        return;
    }
    WriteWhole(fallback, bytes);
}

FontDescription ClockFont::Choose(FontDescription kept) const
{
    const QFileInfo file(FilePath());
    if (!file.exists()) {
        kept.height = 38;
        return kept;
    }
    // A file that adds but brings no Segmatic face (a foreign font under this name) counts as
    // refused: asking for the missing face would show whatever the font matcher substitutes.
    // So does anything but a regular file: reading a named pipe would wait for a writer.
    if (!file.isFile() || !m_addFont(FilePath()).contains(QString::fromLatin1(FaceName))) {
        return kept;
    }
    FontDescription clock;
    clock.height = 39;
    clock.weight = 400;
    clock.fixedPitch = true;
    clock.romanFamily = true;
    clock.face = QString::fromLatin1(FaceName);
    return clock;
}
