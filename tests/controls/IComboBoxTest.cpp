#include "controls/IComboBox.h"

#include "TestPixels.h"

#include <QAbstractEventDispatcher>
#include <QAbstractItemView>
#include <QDialog>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>

#include <tuple>

// The screen's looks follow the mouse and the focus; the press that opens the list ends when the
// list closes, though the release went to the list. Where the window system tells the cursor's
// position only with its events (Wayland), the position stays inside after the pointer left: the
// hot look ends on the leave itself, on the window's deactivation and on hiding, and no timer
// polls for it. Hidden while pressed, it shows by the pointer, no longer pressed. Disabled, it
// closes its list and its button is plain face inside its ring.
TEST(IComboBox, LooksFollowTheMouseTheFocusAndTheList)
{
    CIComboBox combo;
    combo.resize(157, 40);
    combo.AddString(QStringLiteral("pool.ntp.org"));
    combo.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&combo));
    // Whether the screen shows the flat frame of this look, as the paint event would draw it.
    const auto looks = [&](int look) {
        const QImage shown = Shown(combo);
        QImage flat = shown;
        QPainter painter(&flat);
        combo.DrawFlat(&painter, look);
        painter.end();
        return shown == flat;
    };
    const QPoint arrow(150, 10);
    QCursor::setPos(combo.mapToGlobal(arrow)); // stays there, as the last event left it
    QMouseEvent move(QEvent::MouseMove, arrow, QCursor::pos(), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(&combo, &move);
    QTest::mousePress(&combo, Qt::LeftButton, {}, arrow);
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo.view()->isVisible(); }));
    EXPECT_TRUE(looks(CIComboBox::FLAT_PRESSED));
    combo.hidePopup();
    EXPECT_TRUE(looks(CIComboBox::FLAT_HOT));

    QEvent leave(QEvent::Leave), deactivate(QEvent::WindowDeactivate);
    QHideEvent hidden; // as hiding or minimizing the window sends it
    int y = 0; // the corner pixel is the control's; after an end, a move on its frame lights it
    for (QEvent* end : {&leave, &deactivate, static_cast<QEvent*>(&hidden)}) {
        QTest::mouseMove(&combo, QPoint(0, y++ % 2));
        ASSERT_TRUE(looks(CIComboBox::FLAT_HOT));
        // A resting pointer wakes nothing: no timer polls the cursor.
        EXPECT_TRUE(QAbstractEventDispatcher::instance()->registeredTimers(&combo).isEmpty());
        QApplication::sendEvent(&combo, end);
        EXPECT_TRUE(looks(CIComboBox::FLAT_NORMAL));
    }
    // The focus look outlasts a new palette and ends with the focus; a resize or a new style draws
    // the control afresh.
    QEvent paletteChange(QEvent::PaletteChange), styleChange(QEvent::StyleChange);
    Focus(combo, QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(&combo, &paletteChange);
    EXPECT_TRUE(looks(CIComboBox::FLAT_HOT));
    combo.resize(158, 40);
    EXPECT_TRUE(QTest::qWaitFor([&] { return looks(CIComboBox::FLAT_NORMAL); }, 1000));
    Focus(combo, QEvent::FocusIn, Qt::TabFocusReason);
    Focus(combo, QEvent::FocusOut, Qt::TabFocusReason);
    EXPECT_TRUE(looks(CIComboBox::FLAT_NORMAL));
    Focus(combo, QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(&combo, &styleChange);
    EXPECT_TRUE(looks(CIComboBox::FLAT_NORMAL));
    QApplication::sendEvent(&combo, &move);
    QTest::mousePress(&combo, Qt::LeftButton, {}, QPoint(1, 1)); // on the frame: no list
    EXPECT_TRUE(looks(CIComboBox::FLAT_PRESSED));
    QTest::mouseRelease(&combo, Qt::RightButton, {}, QPoint(1, 1)); // another button's
    EXPECT_TRUE(looks(CIComboBox::FLAT_PRESSED));
    QTest::mouseRelease(&combo, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_TRUE(looks(CIComboBox::FLAT_HOT));
    QTest::mousePress(&combo, Qt::LeftButton, {}, QPoint(1, 1));
    QApplication::sendEvent(&combo, &hidden);
    EXPECT_TRUE(looks(CIComboBox::FLAT_NORMAL));
    QTest::mouseMove(combo.lineEdit(), QPoint(5, 5)); // over the edit field, from the window system
    EXPECT_TRUE(looks(CIComboBox::FLAT_HOT));
    combo.showPopup();
    combo.setEnabled(false); // the list closes; the button is plain face inside its ring
    EXPECT_FALSE(combo.view()->isVisible());
    EXPECT_TRUE(looks(CIComboBox::FLAT_NORMAL));
}

// Enter stays in the selector (it presses no default button); Tab leaves it and Escape closes the
// dialog, so the keyboard is never trapped there.
TEST(IComboBox, CompletesTypedTextAndLetsTheKeyboardOut)
{
    QDialog dialog;
    auto* combo = new CIComboBox(&dialog);
    auto* next = new QLineEdit(&dialog); // where Tab goes
    // The dialog's default button.
    QSignalSpy pressed(new QPushButton(QStringLiteral("OK"), &dialog), &QPushButton::clicked);
    for (const char* server : {"time.nist.gov", "pool.ntp.org", "Time.Google.com"}) {
        combo->AddString(QString::fromLatin1(server));
    }
    dialog.show();
    combo->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->hasFocus(); }, 500));
    QLineEdit& edit = *combo->lineEdit();
    // The first entry in order that begins with the text, any case, the rest selected; typing
    // inside the text keeps the caret; none while Backspace or Delete is held.
    for (const auto& [start, typed, text, selected, caret] :
         {std::tuple("", "ti", "Time.Google.com", "me.Google.com", 15),
          {"", "TIME.n", "time.nist.gov", "ist.gov", 13},
          {"", "P", "pool.ntp.org", "ool.ntp.org", 12},
          {"", "time.nx", "time.nx", "", 7},
          {"", "tim\b", "Tim", "", 3},
          {"", "ti\bm", "Time.Google.com", "e.Google.com", 15}, // completes again after a delete
          {"Tme", "i", "Time.Google.com", "", 2}}) {
        edit.setText(QString::fromLatin1(start));
        edit.setCursorPosition(*start ? 1 : 0);
        QTest::keyClicks(combo, typed);
        EXPECT_EQ(std::tuple(edit.text(), edit.selectedText(), edit.cursorPosition()),
                  std::tuple(QString::fromLatin1(text), QString::fromLatin1(selected), caret))
            << typed;
    }
    EXPECT_EQ(combo->currentIndex(), 1); // the list marks the entry completed last
    QTest::keyClick(combo, Qt::Key_Return);
    QTest::keyClick(combo, Qt::Key_Enter);
    // Enter presses no default button, nor adds the text to the list.
    EXPECT_TRUE(pressed.isEmpty() && combo->count() == 3) << combo->count();
    QTest::keyClick(combo, Qt::Key_Tab);
    EXPECT_TRUE(next->hasFocus());
    QTest::keyClick(combo, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
}
