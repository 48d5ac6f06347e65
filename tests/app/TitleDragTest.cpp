#include "app/TitleDrag.h"

#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace
{

// A frameless window with a button in its band, like the skin's close button.
class TitleDragTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_window.setWindowFlag(Qt::FramelessWindowHint);
        m_window.resize(270, 240);
        m_window.move(100, 100);
        m_button = new QPushButton(&m_window);
        m_button->setGeometry(246, 5, 15, 15);
        m_drag = new TitleDrag(&m_window);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    // Presses at a point of the window, moves the mouse by 40, 25 and releases.
    QPoint DragFrom(QWidget* target, QPoint at)
    {
        const QPoint start = m_window.pos();
        QTest::mousePress(target, Qt::LeftButton, {}, at);
        QMouseEvent move(QEvent::MouseMove, QPointF(at + QPoint(40, 25)),
                         QPointF(target->mapToGlobal(at) + QPoint(40, 25)), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(target, &move);
        QTest::mouseRelease(target, Qt::LeftButton, {}, at + QPoint(40, 25));
        return m_window.pos() - start;
    }

    QWidget m_window;
    QPushButton* m_button = nullptr;
    TitleDrag* m_drag = nullptr;
};

TEST_F(TitleDragTest, PressInTheTopBandFollowsTheMouseWhenThereIsNoSystemMove)
{
    m_drag->SetSystemMove([](QWindow*) { return false; });
    EXPECT_EQ(DragFrom(&m_window, QPoint(60, 34)), QPoint(40, 25));
    EXPECT_FALSE(m_drag->IsFollowing());
    EXPECT_EQ(DragFrom(&m_window, QPoint(60, 35)), QPoint(0, 0));
}

TEST_F(TitleDragTest, TheSystemMoveIsAskedOnlyInTheBandAndOutsideButtons)
{
    int asked = 0;
    m_drag->SetSystemMove([&](QWindow*) { return ++asked, true; });
    QTest::mousePress(&m_window, Qt::LeftButton, {}, QPoint(60, 34));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(m_drag->IsFollowing());
    QTest::mouseRelease(&m_window, Qt::LeftButton, {}, QPoint(60, 34));
    QTest::mousePress(&m_window, Qt::LeftButton, {}, QPoint(60, 35));
    QTest::mouseRelease(&m_window, Qt::LeftButton, {}, QPoint(60, 35));
    QTest::mousePress(&m_window, Qt::RightButton, {}, QPoint(60, 10));
    QTest::mouseRelease(&m_window, Qt::RightButton, {}, QPoint(60, 10));
    EXPECT_EQ(asked, 1);

    m_drag->SetSystemMove([](QWindow*) { return false; });
    EXPECT_EQ(DragFrom(m_button, QPoint(7, 7)), QPoint(0, 0));
}

} // namespace
