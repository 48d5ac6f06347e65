#pragma once

#include <QString>

// The log pane's lines in the user's language. The workers write the texts of SyncSteps, which
// the console prints as they are; the window shows each known line, and each line with a value
// (the look-up line, the offset), in the translation the application has loaded. Anything else,
// and every line where no translation is loaded, is shown as written.
namespace LogText
{

QString Translate(const QString& line);

} // namespace LogText
