#include "controls/IComboBox.h"
#include "res/SkinLayout.h"

#include "TestPixels.h"

#include <QAbstractEventDispatcher>
#include <QAbstractItemView>
#include <QDialog>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleFactory>

#include <tuple>
#include <utility>

using SkinLayout::kFace;

// An image of the control with the flat frame of a look drawn over it.
static QImage Flat(CIComboBox& combo, int look, QImage image)
{
    QPainter painter(&image);
    combo.DrawFlat(&painter, look);
    painter.end();
    return image;
}

// The screen's looks follow the mouse and the focus; the press that opens the list ends when the
// list closes, though the release went to the list. Where the window system tells the cursor's
// position only with its events (Wayland), the position stays inside after the pointer left: the
// hot look ends on the leave itself, on the window's deactivation and on hiding, and no timer
// polls for it. Disabled, its button is plain face inside its ring.
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
        return shown == Flat(combo, look, shown);
    };
    const QPoint arrow(150, 10);
    QCursor::setPos(combo.mapToGlobal(arrow)); // stays there, as the last event left it
    QMouseEvent move(QEvent::MouseMove, arrow, QCursor::pos(), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(&combo, &move);
    QTest::mousePress(&combo, Qt::LeftButton, {}, arrow);
    QTest::qWait(30);
    ASSERT_TRUE(combo.view()->isVisible());
    EXPECT_TRUE(looks(CIComboBox::FLAT_PRESSED));
    combo.hidePopup();
    EXPECT_TRUE(looks(CIComboBox::FLAT_HOT));

    QEvent leave(QEvent::Leave), deactivate(QEvent::WindowDeactivate);
    QHideEvent hidden; // as hiding or minimizing the window sends it
    for (QEvent* end : {&leave, &deactivate, static_cast<QEvent*>(&hidden)}) {
        QApplication::sendEvent(&combo, &move);
        ASSERT_TRUE(looks(CIComboBox::FLAT_HOT));
        // A resting pointer wakes nothing: no timer polls the cursor.
        EXPECT_TRUE(QAbstractEventDispatcher::instance()->registeredTimers(&combo).isEmpty());
        QApplication::sendEvent(&combo, end);
        EXPECT_TRUE(looks(CIComboBox::FLAT_NORMAL));
    }
    for (const auto& [type, look] : {std::pair(QEvent::FocusIn, CIComboBox::FLAT_HOT),
                                     {QEvent::FocusOut, CIComboBox::FLAT_NORMAL}}) {
        Focus(combo, type, Qt::TabFocusReason);
        EXPECT_TRUE(looks(look)) << look;
    }
    // The focus look outlasts a new palette; a new style draws the control afresh.
    Focus(combo, QEvent::FocusIn, Qt::TabFocusReason);
    QEvent paletteChange(QEvent::PaletteChange), styleChange(QEvent::StyleChange);
    QApplication::sendEvent(&combo, &paletteChange);
    EXPECT_TRUE(looks(CIComboBox::FLAT_HOT));
    QApplication::sendEvent(&combo, &styleChange);
    EXPECT_TRUE(looks(CIComboBox::FLAT_NORMAL));
    combo.showPopup();
    combo.setEnabled(false); // the list closes; the button is plain face inside its ring
    EXPECT_FALSE(combo.view()->isVisible());
    EXPECT_TRUE(looks(CIComboBox::FLAT_NORMAL));
}

// Right of the edit field lies only the flat drawing: none of the style's own drop button shows
// between the field and the flat button, whatever the style's arrow area (Fusion's is wider
// than a scroll bar).
TEST(IComboBox, FlatButtonCoversTheStylesArrowArea)
{
    for (const char* name : {"Fusion", "Windows"}) {
        CIComboBox combo;
        combo.setStyle(QStyleFactory::create(QString::fromLatin1(name)));
        QPalette palette = combo.palette(); // the window's colours, as it gives them
        palette.setColor(QPalette::Base, kFace);
        combo.setPalette(palette);
        combo.AddString(QStringLiteral("pool.ntp.org"));
        combo.resize(141, 21);
        // Level with the edit field, from its right edge to the control's.
        const QRect field = combo.lineEdit()->geometry();
        const QRect beside(field.right() + 1, field.top(), 140 - field.right(), field.height());
        const QImage flat = Flat(combo, CIComboBox::FLAT_NORMAL, Plain(combo.size(), kFace));
        EXPECT_EQ(Render(combo).copy(beside), flat.copy(beside)) << name;
    }
}

// Enter stays in the selector (it presses no default button); Tab and Shift+Tab leave it and
// Escape closes the dialog, so the keyboard is never trapped there.
TEST(IComboBox, CompletesTypedTextAndLetsTheKeyboardOut)
{
    QDialog dialog;
    auto* combo = new CIComboBox(&dialog);
    auto* next = new QLineEdit(&dialog); // where Tab goes
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    for (const char* server : {"time.nist.gov", "pool.ntp.org", "Time.Google.com"}) {
        combo->AddString(QString::fromLatin1(server));
    }
    dialog.show();
    combo->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->hasFocus(); }, 500));
    QLineEdit& edit = *combo->lineEdit();
    // The first entry in order that begins with the text, any case, the rest selected; typing
    // inside the text keeps the caret.
    for (const auto& [start, typed, text, selected, caret] :
         {std::tuple("", "ti", "Time.Google.com", "me.Google.com", 15),
          {"", "TIME.n", "time.nist.gov", "ist.gov", 13},
          {"", "time.nx", "time.nx", "", 7},
          {"Tme", "i", "Time.Google.com", "", 2}}) {
        edit.setText(QString::fromLatin1(start));
        edit.setCursorPosition(*start ? 1 : 0);
        QTest::keyClicks(combo, typed);
        EXPECT_EQ(std::tuple(edit.text(), edit.selectedText(), edit.cursorPosition()),
                  std::tuple(QString::fromLatin1(text), QString::fromLatin1(selected), caret))
            << typed;
    }
    QSignalSpy pressed(ok, &QPushButton::clicked);
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(combo, Qt::Key(key));
        EXPECT_TRUE(dialog.isVisible() && combo->hasFocus()) << key;
    }
    EXPECT_EQ(pressed.count(), 0);
    EXPECT_EQ(combo->count(), 3); // nor does Enter add the text to the list
    QTest::keyClick(combo, Qt::Key_Tab);
    EXPECT_TRUE(next->hasFocus());
    QTest::keyClick(next, Qt::Key_Backtab);
    EXPECT_TRUE(combo->hasFocus());
    QTest::keyClick(combo, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
}
