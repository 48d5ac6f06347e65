#pragma once

#include <QString>

#include <utility>

// Where the program finds its files. Portable: the program's own folder holds them (a build tree,
// or a folder with url/ beside the program), and the program may write its clock font there.
// Installed: the program runs from a prefix's bin/ with the prefix's share/horalink/ present; its
// configuration is in the user's and the system's configuration folders, and it writes nothing.
class InstallLayout
{
public:
    // The data and configuration folders as seen from the program's folder, so that a prefix
    // unpacked anywhere (a scratch root, /usr/local) works as well as /usr.
    struct Relative {
        QString data;    // ../share from /usr/bin
        QString sysconf; // ../../etc from /usr/bin
    };

    // Portable in the given folder; the state before detection, and what tests use.
    InstallLayout() = default;
    explicit InstallLayout(QString exeDir) : m_exeDir(std::move(exeDir)) {}

    // Tells the layouts apart by the folder the program runs from. A folder holding url/ stays
    // portable even inside a prefix: the user asked for the list beside the program.
    static InstallLayout Detect(const QString& exeDir, const Relative& relative = Compiled());
    // The relation the build installs with.
    static Relative Compiled();

    bool IsInstalled() const { return m_installed; }
    QString ExeDir() const { return m_exeDir; }
    // The user's configuration folder for the program: $XDG_CONFIG_HOME/horalink, or
    // ~/.config/horalink when that is unset or not absolute. Empty when portable.
    QString UserConfigDir() const;
    // <prefix's etc>/horalink (/etc/horalink for /usr). Empty when portable.
    QString SystemConfigDir() const { return m_systemConfigDir; }

private:
    QString m_exeDir;
    QString m_systemConfigDir;
    bool m_installed = false;
};
