#include "controls/IComboBox.h"
#include "res/SkinLayout.h"

#include "TestPixels.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>

using namespace TestPixels;

namespace
{

const QColor kFace = SkinLayout::kFace;

// The control with the flat frame of a look drawn over it, as its paint event would show it.
QImage Flat(CIComboBox& combo, int look)
{
    QImage image = Render(combo);
    QPainter painter(&image);
    combo.DrawFlat(&painter, look);
    return image;
}

} // namespace

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
    const QPoint arrow(150, 10);
    QCursor::setPos(combo.mapToGlobal(arrow)); // stays there, as the last event left it
    QMouseEvent move(QEvent::MouseMove, arrow, QCursor::pos(), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(&combo, &move);
    QTest::mousePress(&combo, Qt::LeftButton, {}, arrow);
    QTest::qWait(30);
    ASSERT_TRUE(combo.view()->isVisible());
    EXPECT_EQ(Render(combo), Flat(combo, CIComboBox::FLAT_PRESSED));
    combo.hidePopup();
    QCoreApplication::processEvents();
    EXPECT_EQ(Render(combo), Flat(combo, CIComboBox::FLAT_HOT));

    QEvent leave(QEvent::Leave), deactivate(QEvent::WindowDeactivate);
    for (QEvent* end : {&leave, &deactivate, static_cast<QEvent*>(nullptr)}) {
        combo.show();
        QApplication::sendEvent(&combo, &move);
        ASSERT_TRUE(combo.IsHoverTimerActive());
        ASSERT_EQ(Render(combo), Flat(combo, CIComboBox::FLAT_HOT));
        if (end != nullptr) {
            QApplication::sendEvent(&combo, end);
        } else {
            combo.hide();
        }
        EXPECT_FALSE(combo.IsHoverTimerActive());
        EXPECT_EQ(Render(combo), Flat(combo, CIComboBox::FLAT_NORMAL));
    }
    combo.setEnabled(false);
    const int thumb = combo.ThumbWidth();
    EXPECT_EQ(Count(Render(combo), QRect(155 - thumb, 2, thumb, 36), kFace), thumb * 36);
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
        QImage flat(combo.size(), QImage::Format_RGB32);
        flat.fill(kFace);
        QPainter painter(&flat);
        combo.DrawFlat(&painter, CIComboBox::FLAT_NORMAL);
        painter.end();
        // Level with the edit field, from its right edge to the control's.
        const QRect field = combo.lineEdit()->geometry();
        const QRect beside(field.right() + 1, field.top(), 140 - field.right(), field.height());
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
    // clang-format off
    for (const auto& [start, typed, text, selected, caret] : {std::tuple("", "ti", "Time.Google.com", "me.Google.com", 15),
             {"", "TIME.n", "time.nist.gov", "ist.gov", 13}, {"", "time.nx", "time.nx", "", 7}, {"Tme", "i", "Time.Google.com", "", 2}}) {
        // clang-format on
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
