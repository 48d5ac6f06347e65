#include "app/window/LogText.h"

#include "app/SyncSteps.h"

#include <QCoreApplication>

#include <optional>
#include <utility>

namespace
{

constexpr const char* kContext = "SyncSteps";

// A line made from a text with a marker standing for a value: the translated text with the same
// value, or nothing when the line was not made from it.
std::optional<QString> TranslateWithValue(const QString& line, const char* source,
                                          QLatin1String marker)
{
    const QString text = QString::fromLatin1(source);
    const qsizetype at = text.indexOf(marker);
    const QString before = text.left(at);
    const QString after = text.mid(at + marker.size());
    if (line.size() < before.size() + after.size() || !line.startsWith(before) ||
        !line.endsWith(after)) {
        return std::nullopt;
    }
    const QString value = line.mid(before.size(), line.size() - before.size() - after.size());
    QString translated = QCoreApplication::translate(kContext, source);
    const qsizetype place = translated.indexOf(marker);
    if (place < 0) {
        return std::nullopt;
    }
    return translated.replace(place, marker.size(), value);
}

} // namespace

namespace LogText
{

QString Translate(const QString& line)
{
    for (const char* source :
         {SyncSteps::kRetrieveFailed, SyncSteps::kAdjusted, SyncSteps::kAdjustFailed,
          SyncSteps::kSocketsFailed, SyncSteps::kSocketsVersion, SyncSteps::kRetrieved,
          SyncSteps::kDestinationDate, SyncSteps::kClockOffset, SyncSteps::kAuthenticated}) {
        if (line == QLatin1String(source)) {
            return QCoreApplication::translate(kContext, source);
        }
    }
    for (const auto& [source, marker] : {std::pair(SyncSteps::kLookup, QLatin1String("%1")),
                                         {SyncSteps::kOffsetSeconds, QLatin1String("%f")}}) {
        if (auto translated = TranslateWithValue(line, source, marker)) {
            return *translated;
        }
    }
    return line;
}

} // namespace LogText
