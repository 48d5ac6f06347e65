#include "app/servers/InstallLayout.h"

#include <QDir>
#include <QFileInfo>

namespace
{

constexpr const char* kAppFolder = "horalink";
// The portable layout's server list folder.
constexpr const char* kPortableMarker = "url";

QString Beside(const QString& dir, const QString& relative)
{
    return QDir::cleanPath(QDir(dir).filePath(relative));
}

} // namespace

InstallLayout::Relative InstallLayout::Compiled()
{
    return {QStringLiteral(HORALINK_BIN_TO_DATA), QStringLiteral(HORALINK_BIN_TO_SYSCONF)};
}

InstallLayout InstallLayout::Detect(const QString& exeDir, const Relative& relative)
{
    InstallLayout layout(exeDir);
    const QString appData =
        Beside(exeDir, relative.data + QLatin1Char('/') + QLatin1String(kAppFolder));
    if (QFileInfo(QDir(exeDir).filePath(QLatin1String(kPortableMarker))).exists() ||
        !QFileInfo(appData).isDir()) {
        return layout;
    }
    layout.m_installed = true;
    layout.m_systemConfigDir =
        Beside(exeDir, relative.sysconf + QLatin1Char('/') + QLatin1String(kAppFolder));
    return layout;
}

QString InstallLayout::UserConfigDir() const
{
    if (!m_installed) {
        return {};
    }
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    // Relative values are invalid by the XDG rules and are ignored.
    if (!QDir::isAbsolutePath(configHome)) {
        configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    return QDir(configHome).filePath(QLatin1String(kAppFolder));
}
