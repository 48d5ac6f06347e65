#include "app/servers/ServerListFile.h"

#include "app/servers/InstallLayout.h"
#include "app/servers/ServerListText.h"

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
    QStringList entries;
    for (const std::string& entry :
         ServerListText::Parse(std::string_view(content.constData(), content.size()), cut)) {
        entries.append(QString::fromStdString(entry));
    }
    return entries;
}

QStringList ServerListFile::BuiltIns()
{
    return {QStringLiteral("pool.ntp.org"), QStringLiteral("time.nist.gov"),
            QStringLiteral("nts://time.cloudflare.com")};
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
