#include "app/window/ClockFont.h"

#include "app/servers/InstallLayout.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QSaveFile>

namespace
{

QStringList FamiliesOf(int id)
{
    return id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
}

QStringList AddFileToFontDatabase(const QString& path)
{
    return FamiliesOf(QFontDatabase::addApplicationFont(path));
}

QStringList AddDataToFontDatabase(const QByteArray& data)
{
    return FamiliesOf(QFontDatabase::addApplicationFontFromData(data));
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

} // namespace

ClockFont::ClockFont(const InstallLayout& layout)
    : m_folder(layout.IsInstalled() ? QString() : layout.ExeDir()),
      m_fontData([] { return ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC); }),
      m_addFile(AddFileToFontDatabase), m_addData(AddDataToFontDatabase)
{
}

QString ClockFont::FilePath() const
{
    return m_folder.isEmpty() ? QString() : QDir(m_folder).filePath(QString::fromLatin1(FileName));
}

void ClockFont::Install() const
{
    // A file already there is kept as it is, whatever it holds.
    if (m_folder.isEmpty() || QFileInfo::exists(FilePath())) {
        return;
    }
    const QByteArray bytes = m_fontData();
    if (!bytes.isEmpty()) {
        WriteWhole(FilePath(), bytes);
    }
}

std::optional<QStringList> ClockFont::AddFace() const
{
    const QFileInfo file(FilePath());
    if (file.exists()) {
        // Only a regular file: reading a named pipe would wait for a writer.
        return file.isFile() ? m_addFile(FilePath()) : QStringList();
    }
    const QByteArray bytes = m_fontData();
    if (bytes.isEmpty()) {
        return std::nullopt;
    }
    return m_addData(bytes);
}

FontDescription ClockFont::Choose(FontDescription kept) const
{
    const std::optional<QStringList> families = AddFace();
    if (!families) {
        kept.height = 38;
        return kept;
    }
    // A font that adds but brings no Segmatic face (a foreign font under this name) counts as
    // refused: asking for the missing face would show whatever the font matcher substitutes.
    if (!families->contains(QString::fromLatin1(FaceName))) {
        return kept;
    }
    FontDescription clock;
    clock.height = 39;
    clock.weight = 400;
    clock.fixedPitch = true;
    clock.face = QString::fromLatin1(FaceName);
    return clock;
}
