#include "controls/IComboBox.h"

#include "TestPixels.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using TestPixels::At;
using TestPixels::Count;
using TestPixels::Render;

namespace
{

const QColor kLight(255, 255, 255);
const QColor kShadow(100, 100, 105);
const QColor kFace(192, 192, 192);
const QPoint kFarAway(5000, 5000);

struct Flat {
    int width;
    int height;
    int thumb;
    // Left edge of the button's outer frame: the rightmost thumb + 2 pixels inside the ring.
    int ButtonLeft() const { return width - 1 - thumb - 2; }
};

void MoveMouseOver(QWidget& widget, QPoint local)
{
    QCursor::setPos(widget.mapToGlobal(local));
    QMouseEvent move(QEvent::MouseMove, QPointF(local), QPointF(widget.mapToGlobal(local)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

// The outer sunken edge and the light-grey ring, drawn in every look.
void ExpectEdges(const QImage& image, const Flat& f)
{
    EXPECT_EQ(At(image, 0, 0), kShadow);
    EXPECT_EQ(At(image, f.width - 2, 0), kShadow);
    EXPECT_EQ(At(image, f.width - 1, 0), kLight); // the right column in full
    EXPECT_EQ(At(image, 0, f.height - 2), kShadow);
    EXPECT_EQ(At(image, 0, f.height - 1), kLight); // the bottom row in full
    EXPECT_EQ(At(image, 1, 1), kFace);
    EXPECT_EQ(At(image, 1, f.height - 2), kFace);
    EXPECT_EQ(At(image, f.width - 50, f.height - 2), kFace);
}

// The drop button: frames, the 15 gradient rows, and the 8 x 4 arrow.
void ExpectButton(const QImage& image, const Flat& f, int look)
{
    const int left = f.ButtonLeft();
    const bool pressed = look == CIComboBox::FLAT_PRESSED;
    const int right = f.width - 2;
    const int bottom = f.height - 2;
    EXPECT_EQ(At(image, left - 1, 1), kFace);
    EXPECT_EQ(At(image, left, 1), kShadow);
    EXPECT_EQ(At(image, left, bottom - 1), kShadow);
    EXPECT_EQ(At(image, right - 1, 1), kShadow);
    EXPECT_EQ(At(image, right, 1), pressed ? kLight : kShadow);
    EXPECT_EQ(At(image, left, bottom), pressed ? kLight : kShadow);
    EXPECT_EQ(At(image, left + 1, 2), pressed ? kFace : kLight);
    EXPECT_EQ(At(image, right - 1, bottom - 1), pressed ? kFace : kLight);

    // Gradient rows (202 - 3i), thumb - 2 wide; the arrow lies over the middle rows.
    for (int i = 0; i < 15; ++i) {
        const QColor row(202 - 3 * i, 202 - 3 * i, 202 - 3 * i);
        EXPECT_EQ(At(image, left + 2, 3 + i), row) << i;
        EXPECT_EQ(At(image, left + 2 + f.thumb - 3, 3 + i), row) << i;
    }

    const int w = f.thumb - 2;
    const int h = f.height - 6;
    const int x0 = left + 2 + (w - 8) / 2 + (pressed ? 1 : 0);
    const int y0 = 3 + (h - 4) / 2 + (pressed ? 1 : 0);
    const QColor arrow = look == CIComboBox::FLAT_NORMAL ? kShadow : kLight;
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(Count(image, QRect(x0 + k, y0 + k, 8 - 2 * k, 1), arrow), 8 - 2 * k) << k;
        EXPECT_NE(At(image, x0 + k - 1, y0 + k), arrow) << k;
        EXPECT_NE(At(image, x0 + 8 - k, y0 + k), arrow) << k;
    }
}

class ComboTest : public testing::Test
{
protected:
    void SetUp() override
    {
        QCursor::setPos(kFarAway);
        combo.resize(157, 21);
        combo.show();
    }
    Flat Geometry() const { return {combo.width(), combo.height(), combo.ThumbWidth()}; }
    QImage Screen() { return Render(combo); }

    CIComboBox combo;
};

} // namespace

TEST_F(ComboTest, NormalAndHotLooksFollowTheCursor)
{
    ASSERT_GE(combo.ThumbWidth(), 10);
    ExpectEdges(Screen(), Geometry());
    ExpectButton(Screen(), Geometry(), CIComboBox::FLAT_NORMAL);

    MoveMouseOver(combo, QPoint(20, 10));
    EXPECT_TRUE(combo.IsHoverTimerActive());
    ExpectEdges(Screen(), Geometry());
    ExpectButton(Screen(), Geometry(), CIComboBox::FLAT_HOT);

    // Off the control: the next timer step draws the normal look and stops the timer.
    QCursor::setPos(kFarAway);
    QTRY_VERIFY_WITH_TIMEOUT(!combo.IsHoverTimerActive(), 200);
    ExpectButton(Screen(), Geometry(), CIComboBox::FLAT_NORMAL);
}

TEST_F(ComboTest, PressedLookOnlyAfterTheTimerDrewTheHotLook)
{
    MoveMouseOver(combo, QPoint(0, 10));
    QTest::mousePress(&combo, Qt::LeftButton, {}, QPoint(0, 10));
    QTest::qWait(30);
    ExpectButton(Screen(), Geometry(), CIComboBox::FLAT_PRESSED);
    EXPECT_FALSE(combo.IsHoverTimerActive());

    // The release repaints by cursor position; a second press without a mouse move shows no
    // pressed look, since the timer has drawn no hot look since.
    QTest::mouseRelease(&combo, Qt::LeftButton, {}, QPoint(0, 10));
    ExpectButton(Screen(), Geometry(), CIComboBox::FLAT_HOT);
    QTest::mousePress(&combo, Qt::LeftButton, {}, QPoint(0, 10));
    QTest::qWait(30);
    ExpectButton(Screen(), Geometry(), CIComboBox::FLAT_HOT);
    QTest::mouseRelease(&combo, Qt::LeftButton, {}, QPoint(0, 10));
}

TEST_F(ComboTest, ClosingTheDroppedListEndsThePress)
{
    combo.AddString(QStringLiteral("pool.ntp.org"));
    const QPoint arrow(combo.width() - 6, 10);
    MoveMouseOver(combo, arrow);
    QTest::mousePress(&combo, Qt::LeftButton, {}, arrow);
    QTest::qWait(30);
    ASSERT_TRUE(combo.view()->isVisible());
    ExpectButton(Screen(), Geometry(), CIComboBox::FLAT_PRESSED);

    // The release went to the list; its closing repaints by cursor and hovering works again.
    combo.hidePopup();
    QCoreApplication::processEvents();
    ExpectButton(Screen(), Geometry(), CIComboBox::FLAT_HOT);
    MoveMouseOver(combo, QPoint(0, 10));
    EXPECT_TRUE(combo.IsHoverTimerActive());
}

TEST_F(ComboTest, FocusDrawsTheHotLookUntilTheNextRealPaint)
{
    combo.activateWindow();
    combo.setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(combo.hasFocus(), 500);
    ExpectButton(Screen(), Geometry(), CIComboBox::FLAT_HOT);
    combo.resize(158, 21);
    ExpectButton(Screen(), Geometry(), CIComboBox::FLAT_NORMAL);
}

TEST_F(ComboTest, DisabledAndTallControls)
{
    combo.setEnabled(false);
    const QImage disabled = Screen();
    const Flat f = Geometry();
    ExpectEdges(disabled, f);
    const QRect inside(f.ButtonLeft() + 1, 2, f.thumb, f.height - 4);
    EXPECT_EQ(Count(disabled, inside, kFace), inside.width() * inside.height());

    // Taller: still 15 rows at the top, the arrow centred in the taller button.
    combo.setEnabled(true);
    combo.resize(157, 40);
    const QImage tall = Screen();
    ExpectEdges(tall, Geometry());
    ExpectButton(tall, Geometry(), CIComboBox::FLAT_NORMAL);
    EXPECT_NE(At(tall, f.ButtonLeft() + 2, 3 + 15), QColor(157, 157, 157));
}

class CompletionTest : public testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* server : {"time.nist.gov", "pool.ntp.org", "Time.Google.com"}) {
            combo.AddString(QString::fromLatin1(server));
        }
        combo.setCurrentIndex(-1);
        combo.setEditText(QString());
    }
    QLineEdit* Edit() { return combo.lineEdit(); }

    CIComboBox combo;
};

TEST_F(CompletionTest, KeepsTheListSorted)
{
    EXPECT_EQ(combo.itemText(0), QStringLiteral("pool.ntp.org"));
    EXPECT_EQ(combo.itemText(1), QStringLiteral("Time.Google.com"));
    EXPECT_EQ(combo.itemText(2), QStringLiteral("time.nist.gov"));
}

TEST_F(CompletionTest, CompletesTheFirstEntryIgnoringCaseAndSelectsTheRest)
{
    QTest::keyClicks(&combo, "ti");
    EXPECT_EQ(Edit()->text(), QStringLiteral("Time.Google.com"));
    EXPECT_EQ(Edit()->selectedText(), QStringLiteral("me.Google.com"));

    QTest::keyClicks(&combo, "me.N");
    EXPECT_EQ(Edit()->text(), QStringLiteral("time.nist.gov"));
    EXPECT_EQ(Edit()->selectionStart(), 6);
    EXPECT_EQ(Edit()->selectedText(), QStringLiteral("ist.gov"));

    // No entry begins with the text: it stays as typed, the caret after it.
    QTest::keyClicks(&combo, "x");
    EXPECT_EQ(Edit()->text(), QStringLiteral("time.nx"));
    EXPECT_FALSE(Edit()->hasSelectedText());
    EXPECT_EQ(Edit()->cursorPosition(), 7);
}

TEST_F(CompletionTest, DeleteAndBackspaceHeldDoNotComplete)
{
    QTest::keyClicks(&combo, "po");
    ASSERT_EQ(Edit()->text(), QStringLiteral("pool.ntp.org"));
    QTest::keyPress(&combo, Qt::Key_Backspace); // removes the selected remainder
    EXPECT_EQ(Edit()->text(), QStringLiteral("po"));
    QTest::keyPress(&combo, Qt::Key_Backspace, Qt::NoModifier, -1);
    EXPECT_EQ(Edit()->text(), QStringLiteral("p"));
    QTest::keyRelease(&combo, Qt::Key_Backspace);

    Edit()->setCursorPosition(0);
    QTest::keyPress(&combo, Qt::Key_Delete);
    EXPECT_EQ(Edit()->text(), QString());
    QTest::keyRelease(&combo, Qt::Key_Delete);

    // The next other key completes again.
    QTest::keyClicks(&combo, "P");
    EXPECT_EQ(Edit()->text(), QStringLiteral("pool.ntp.org"));
}

TEST_F(CompletionTest, TypingInsideTheTextKeepsTheCaret)
{
    QTest::keyClicks(&combo, "tme"); // "t" took the entry's capital
    ASSERT_EQ(Edit()->text(), QStringLiteral("Tme"));
    Edit()->setCursorPosition(1);
    QTest::keyClicks(&combo, "i");
    EXPECT_EQ(Edit()->text(), QStringLiteral("Time.Google.com"));
    EXPECT_FALSE(Edit()->hasSelectedText());
    EXPECT_EQ(Edit()->cursorPosition(), 2);
}

TEST(IComboBox, EnterEscapeAndTabStayInTheEditField)
{
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* combo = new CIComboBox(&dialog);
    auto* next = new QLineEdit(&dialog);
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    layout->addWidget(combo);
    layout->addWidget(next);
    layout->addWidget(ok);
    ok->setDefault(true);
    QSignalSpy clicks(ok, &QPushButton::clicked);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    dialog.activateWindow();
    combo->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(combo->hasFocus(), 500);
    QTest::keyClicks(combo, "typed");

    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Tab}) {
        QTest::keyClick(combo, key);
        EXPECT_TRUE(dialog.isVisible()) << key;
        EXPECT_TRUE(combo->hasFocus()) << key;
    }
    QTest::keyClick(combo, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_TRUE(combo->hasFocus());
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(combo->count(), 0); // Enter adds nothing to the list
    EXPECT_EQ(combo->currentText(), QStringLiteral("typed"));
}
