#include "app/ServerListFile.h"

#include "app/InstallLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QStringList ServerListFile::Read(const QString& path)
{
    // Only a regular file: opening a named pipe would wait for a writer, and the window with it.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray content = file.read(kMaxBytes);
    const bool cut = !file.atEnd();

    QList<QByteArray> lines = content.split('\n');
    // split leaves one piece after the last line end; that piece is a line only when it has
    // text. When the file was cut, it is the start of a line whose end was never read.
    if (lines.back().isEmpty() || cut) {
        lines.removeLast();
    }
    QStringList entries;
    for (const QByteArray& line : lines) {
        if (entries.size() == kMaxEntries) {
            break;
        }
        if (line.startsWith('#')) {
            continue;
        }
        entries.append(EntryOf(line));
    }
    return entries;
}

// Trailing white space goes (including the carriage return of a CR LF line end); leading
// blanks stay, and nothing else is checked.
QString ServerListFile::EntryOf(QByteArray line)
{
    const auto isTrailingBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
    };
    while (!line.isEmpty() && isTrailingBlank(line.back())) {
        line.chop(1);
    }
    return QString::fromUtf8(line);
}

QStringList ServerListFile::BuiltIns()
{
    return {QStringLiteral("pool.ntp.org"), QStringLiteral("time.nist.gov"),
            QStringLiteral("time.cloudflare.com")};
}

QString ServerListFile::Locate(const InstallLayout& layout)
{
    if (!layout.IsInstalled()) {
        return QDir(layout.ExeDir()).filePath(QLatin1String(kPath));
    }
    // The user's list replaces the system's as a whole, so that a server can be taken out too.
    for (const QString& dir : {layout.UserConfigDir(), layout.SystemConfigDir()}) {
        const QString path = QDir(dir).filePath(QLatin1String(kConfigName));
        if (QFileInfo::exists(path)) {
            return path;
        }
    }
    return {};
}
