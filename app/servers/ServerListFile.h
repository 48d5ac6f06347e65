#pragma once

#include <QString>
#include <QStringList>

class InstallLayout;

// The server list file (its format: ServerListText), read as UTF-8. The program only ever
// reads it.
class ServerListFile
{
public:
    // Below a portable program's folder.
    static constexpr const char* kPath = "url/time.txt";
    // Below the user's or the system's configuration folder of an installed program.
    static constexpr const char* kConfigName = "time.txt";
    // Only this much of the file is read: enough for any real list, and a binary or runaway
    // file cannot stall the window.
    static constexpr qint64 kMaxBytes = 1024 * 1024;

    // The entries of the file in file order; empty when it cannot be read.
    static QStringList Read(const QString& path);
    // The file to read: url/time.txt beside a portable program; for an installed one the user's
    // list, else the system's. Empty when an installed program has neither.
    static QString Locate(const InstallLayout& layout);
    // Offered when the file gives no entry.
    static QStringList BuiltIns();
};
