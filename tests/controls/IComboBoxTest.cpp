#include "controls/IComboBox.h"

#include "TestPixels.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

using TestPixels::Pixel;

namespace
{

const QColor kLight(255, 255, 255), kShadow(100, 100, 105), kFace(192, 192, 192);

// The control with the flat frame of a look drawn over it, as its paint event would show it.
QImage Flat(CIComboBox& combo, int look)
{
    QImage image = TestPixels::Render(combo);
    QPainter painter(&image);
    combo.DrawFlat(&painter, look);
    return image;
}

// The look on the screen: the one whose flat frame changes no pixel of it.
int ShownLook(CIComboBox& combo)
{
    int look = CIComboBox::FLAT_NORMAL;
    while (look <= CIComboBox::FLAT_PRESSED && Flat(combo, look) != TestPixels::Render(combo))
        ++look;
    return look;
}

} // namespace

// Sunken edge, grey ring, the button (thumb + 2 wide inside the ring) with its frames, 15
// gradient rows at the top however tall, and the 8 x 4 arrow, a pixel lower right when pressed.
TEST(IComboBox, FlatFramePixelsOfEachLook)
{
    CIComboBox combo;
    const int w = 157, thumb = combo.ThumbWidth(), left = w - 3 - thumb;
    ASSERT_GE(thumb, 10);
    for (int h : {21, 40}) {
        combo.resize(w, h);
        for (int look : {CIComboBox::FLAT_NORMAL, CIComboBox::FLAT_HOT, CIComboBox::FLAT_PRESSED}) {
            SCOPED_TRACE(testing::Message() << "look " << look << " height " << h);
            const QImage image = Flat(combo, look);
            const bool pressed = look == CIComboBox::FLAT_PRESSED;
            const QColor outer = pressed ? kLight : kShadow, inner = pressed ? kFace : kLight;
            TestPixels::Expect(image, {Pixel{0, 0, kShadow}, Pixel{w - 1, 0, kLight},
                                       Pixel{0, h - 1, kLight}, Pixel{1, h - 2, kFace},
                                       Pixel{left - 1, 1, kFace}, Pixel{left, 1, kShadow},
                                       Pixel{w - 2, 1, outer}, Pixel{left + 1, 2, inner}});
            for (int i = 0; i < 15; ++i) {
                const QColor grey(202 - 3 * i, 202 - 3 * i, 202 - 3 * i);
                TestPixels::Expect(image,
                                   {Pixel{left + 2, 3 + i, grey}, Pixel{w - 4, 3 + i, grey}});
            }
            EXPECT_NE(image.pixel(left + 2, 18), qRgb(157, 157, 157)); // no 16th row
            const int x0 = left + 2 + (thumb - 10) / 2 + pressed, y0 = 3 + (h - 10) / 2 + pressed;
            const QColor arrow = look == CIComboBox::FLAT_NORMAL ? kShadow : kLight;
            for (int k = 0; k < 4; ++k) { // each row exactly: none of it on either side
                const QRect row(x0 + k, y0 + k, 8 - 2 * k, 1);
                EXPECT_EQ(TestPixels::Count(image, row, arrow), 8 - 2 * k) << k;
                EXPECT_EQ(TestPixels::Count(image, row.adjusted(-1, 0, 1, 0), arrow), 8 - 2 * k);
            }
        }
    }
    combo.setEnabled(false); // the button is plain face inside its ring
    EXPECT_EQ(
        TestPixels::Count(TestPixels::Render(combo), QRect(w - 2 - thumb, 2, thumb, 36), kFace),
        thumb * 36);
}

TEST(IComboBox, LooksFollowTheMouseAndTheDroppedList)
{
    QCursor::setPos(5000, 5000);
    CIComboBox combo;
    combo.AddString(QStringLiteral("pool.ntp.org"));
    combo.resize(157, 21);
    combo.show();
    EXPECT_EQ(ShownLook(combo), CIComboBox::FLAT_NORMAL);
    const QPoint arrow(150, 10);
    QCursor::setPos(combo.mapToGlobal(arrow));
    QMouseEvent move(QEvent::MouseMove, arrow, QCursor::pos(), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(&combo, &move);
    EXPECT_EQ(ShownLook(combo), CIComboBox::FLAT_HOT);
    QTest::mousePress(&combo, Qt::LeftButton, {}, arrow);
    QTest::qWait(30);
    ASSERT_TRUE(combo.view()->isVisible());
    EXPECT_EQ(ShownLook(combo), CIComboBox::FLAT_PRESSED);
    combo.hidePopup(); // the release went to the list: the press ends all the same
    QCoreApplication::processEvents();
    EXPECT_EQ(ShownLook(combo), CIComboBox::FLAT_HOT);
    QCursor::setPos(5000, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!combo.IsHoverTimerActive(), 200);
    EXPECT_EQ(ShownLook(combo), CIComboBox::FLAT_NORMAL);
}

TEST(IComboBox, CompletesTypedTextAndKeepsKeysFromTheDialog)
{
    QDialog dialog;
    auto* combo = new CIComboBox(&dialog);
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    (new QVBoxLayout(&dialog))->addWidget(combo);
    dialog.layout()->addWidget(new QLineEdit(&dialog));
    dialog.layout()->addWidget(ok);
    ok->setDefault(true);
    for (const char* server : {"time.nist.gov", "pool.ntp.org", "Time.Google.com"})
        combo->AddString(QString::fromLatin1(server));
    dialog.show();
    combo->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(combo->hasFocus(), 500);
    QLineEdit& edit = *combo->lineEdit();
    // The first entry in order that begins with the text, any case, the rest selected.
    for (const auto& [typed, text, selected] :
         {std::tuple("ti", "Time.Google.com", "me.Google.com"),
          std::tuple("TIME.n", "time.nist.gov", "ist.gov"), std::tuple("time.nx", "time.nx", "")}) {
        edit.clear();
        QTest::keyClicks(combo, typed);
        EXPECT_EQ(edit.text(), QString::fromLatin1(text)) << typed;
        EXPECT_EQ(edit.selectedText(), QString::fromLatin1(selected)) << typed;
        EXPECT_EQ(edit.cursorPosition(), *selected ? int(strlen(text)) : int(strlen(typed)));
    }
    edit.setText(QStringLiteral("Tme")); // typing inside the text keeps the caret
    edit.setCursorPosition(1);
    QTest::keyClicks(combo, "i");
    EXPECT_EQ(edit.text(), QStringLiteral("Time.Google.com"));
    EXPECT_EQ(edit.cursorPosition(), 2);
    // Backspace and Delete held do not complete, until released or the focus leaves.
    edit.clear();
    QTest::keyClicks(combo, "po");
    QTest::keyPress(combo, Qt::Key_Backspace); // removes the selected remainder
    QTest::keyPress(combo, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("p"));
    QTest::keyRelease(combo, Qt::Key_Backspace);
    QTest::keyClicks(combo, "xo");
    edit.setCursorPosition(1);
    QTest::keyPress(combo, Qt::Key_Delete);
    EXPECT_EQ(edit.text(), QStringLiteral("po"));
    QFocusEvent focusOut(QEvent::FocusOut);
    QApplication::sendEvent(combo, &focusOut);
    QTest::keyClicks(combo, "o");
    EXPECT_EQ(edit.text(), QStringLiteral("pool.ntp.org"));

    for (Qt::Key key :
         {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Tab, Qt::Key_Backtab}) {
        QTest::keyClick(combo, key);
        EXPECT_TRUE(dialog.isVisible() && combo->hasFocus() && !ok->isDown()) << key;
    }
    EXPECT_EQ(combo->count(), 3); // nor does Enter add the text to the list
}
