#pragma once

#include <QString>
#include <QStringList>

// The server list file: one server per line, "#" in the first column for a comment, read as
// UTF-8. The program only ever reads it.
class ServerListFile
{
public:
    // Relative to the executable's folder, which is the current directory by then.
    static constexpr const char* kPath = "url/time.txt";
    // Only this much of the file is read, and only this many entries are kept: enough for any
    // real list, and a binary or runaway file cannot stall the window.
    static constexpr qint64 kMaxBytes = 1024 * 1024;
    static constexpr qsizetype kMaxEntries = 1000;

    // The entries of the file in file order; empty when it cannot be read.
    static QStringList Read(const QString& path);
    // Offered when the file gives no entry.
    static QStringList BuiltIns();

private:
    static QString EntryOf(QByteArray line);
};
