#include "AppTestSupport.h"

#include "app/SyncSteps.h"
#include "app/window/LogText.h"
#include "app/window/Translation.h"
#include "controls/HoverButton.h"

#include <QLocale>

// The window's texts follow the locale: German where LANGUAGE asks for it (the test
// app_window_texts_german runs this case so), today's English texts otherwise: the log's lines,
// those typed by the window included, and the controls' names. The log's lines with values keep
// their values; lines the program did not write stay as they are.
TEST(WindowTexts, FollowTheLocale)
{
    const bool german = qgetenv("LANGUAGE").startsWith("de");
    EXPECT_EQ(Translation::Install(QLocale()), german);
    const auto text = [german](const char* english, const char* deutsch) {
        return QString::fromUtf8(german ? deutsch : english);
    };

    // The English texts are the lines themselves.
    for (const auto& [line, deutsch] :
         {std::pair("Failed to retreive time from server", "Zeitabruf vom Server fehlgeschlagen"),
          {"Looking up   --- pool.ntp.org ---", "Suche   --- pool.ntp.org ---"},
          {"         -0.012345 seconds", "         -0.012345 Sekunden"},
          {"         07/12/2026, 13:45:01.250", "         07/12/2026, 13:45:01.250"},
          {"Looking up", "Looking up"}}) {
        EXPECT_EQ(LogText::Translate(QString::fromLatin1(line)), text(line, deutsch));
    }
    // Qt's own texts follow too.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), text("Cancel", "Abbrechen"));
    // The console's lines are made from the same texts and never translated.
    EXPECT_EQ(SyncSteps::LookupLine("pool.ntp.org"), "Looking up   --- pool.ntp.org ---");

    TestWindow window;
    EXPECT_EQ(Control<CHoverButton>(window.dlg, "btnOK")->accessibleName(),
              text("Get the time", "Zeit abrufen"));
    Control<CIComboBox>(window.dlg, "comboServer")->setEditText(QStringLiteral("t.example"));
    window.dlg.OnOK();
    ASSERT_TRUE(WaitIdle(window.dlg));
    EXPECT_EQ(LogLines(window.dlg).value(0),
              text("Looking up   --- t.example ---", "Suche   --- t.example ---"));
    // The translators stay: ctest runs each case in a process of its own.
}
