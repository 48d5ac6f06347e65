#include "controls/IComboBox.h"
#include "res/SkinLayout.h"

#include "TestPixels.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
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

// Shown, the looks follow the mouse; the press that opens the list ends when the list closes,
// though the release went to the list. Where the window system tells the cursor's position only
// with its events (Wayland), the position stays inside after the pointer left: the hot look ends
// on the leave itself, on the window's deactivation and on hiding. Disabled, its button is plain
// face inside its ring.
TEST(IComboBox, LooksFollowTheMouseAndTheList)
{
    CIComboBox combo;
    combo.resize(157, 40);
    combo.AddString(QStringLiteral("pool.ntp.org"));
    combo.show();
    // Whether the control shows the flat frame of this look, as its paint event would draw it.
    const auto looks = [&](int look) { return Render(combo) == Flat(combo, look, Render(combo)); };
    const QPoint arrow(150, 10);
    QCursor::setPos(combo.mapToGlobal(arrow)); // stays there, as the last event left it
    QMouseEvent move(QEvent::MouseMove, arrow, QCursor::pos(), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(&combo, &move);
    QTest::mousePress(&combo, Qt::LeftButton, {}, arrow);
    QTest::qWait(30);
    ASSERT_TRUE(combo.view()->isVisible());
    EXPECT_TRUE(looks(CIComboBox::FLAT_PRESSED));
    combo.hidePopup();
    QCoreApplication::processEvents();
    EXPECT_TRUE(looks(CIComboBox::FLAT_HOT));

    QEvent leave(QEvent::Leave), deactivate(QEvent::WindowDeactivate);
    QHideEvent hidden; // as hiding or minimizing the window sends it
    for (QEvent* end : {&leave, &deactivate, static_cast<QEvent*>(&hidden)}) {
        QApplication::sendEvent(&combo, &move);
        ASSERT_TRUE(combo.IsHoverTimerActive());
        ASSERT_TRUE(looks(CIComboBox::FLAT_HOT));
        QApplication::sendEvent(&combo, end);
        EXPECT_FALSE(combo.IsHoverTimerActive());
        EXPECT_TRUE(looks(CIComboBox::FLAT_NORMAL));
    }
    combo.setEnabled(false);
    const QRect thumb(155 - combo.ThumbWidth(), 2, combo.ThumbWidth(), 36);
    EXPECT_EQ(Render(combo).copy(thumb), Plain(thumb.size(), kFace));
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

TEST(IComboBox, CompletesTypedTextAndKeepsKeysFromTheDialog)
{
    QDialog dialog;
    auto* combo = new CIComboBox(&dialog);
    new QLineEdit(&dialog); // where Tab would go
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
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Tab, Qt::Key_Backtab}) {
        QTest::keyClick(combo, Qt::Key(key));
        EXPECT_TRUE(dialog.isVisible() && combo->hasFocus() && !ok->isDown()) << key;
    }
    EXPECT_EQ(combo->count(), 3); // nor does Enter add the text to the list
}
