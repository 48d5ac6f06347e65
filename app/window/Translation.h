#pragma once

class QLocale;

// The window's texts in the user's language: the program's own translation, built into it, and
// Qt's for the texts Qt draws itself (the log pane's context menu), both chosen by the locale
// (LANGUAGE, LC_ALL, LC_MESSAGES, LANG). Nothing is installed for a language without a
// translation, English and C among them: the texts stay as written. The console is never
// translated.
namespace Translation
{

// Installs the translations for the locale into the application; false when the program has none
// for it.
bool Install(const QLocale& locale);

} // namespace Translation
