#include "app/WindowMenu.h"
#include "tests/app/QStringPrinter.h"

#include "res/resource.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace
{

TEST(WindowMenu, EndsWithASeparatorAndAboutCarryingItsCommand)
{
    QWidget window;
    WindowMenu menu(&window);
    const QList<QAction*> actions = menu.Menu()->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[0]->text(), "Minimize");
    EXPECT_EQ(actions[1]->text(), "Close");
    EXPECT_TRUE(actions[2]->isSeparator());
    EXPECT_EQ(actions[3]->text(), "About ...");
    EXPECT_EQ(actions[3]->data().toInt(), IDM_ABOUTBOX);

    QSignalSpy commands(&menu, &WindowMenu::SysCommand);
    actions[3]->trigger();
    ASSERT_EQ(commands.size(), 1);
    EXPECT_EQ(commands[0][0].toInt(), IDM_ABOUTBOX);
}

TEST(WindowMenu, OpensOnARightClickInTheTitleBandOnly)
{
    QWidget window;
    window.resize(270, 240);
    auto* menu = new WindowMenu(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QContextMenuEvent below(QContextMenuEvent::Mouse, QPoint(60, 35),
                            window.mapToGlobal(QPoint(60, 35)));
    QApplication::sendEvent(&window, &below);
    EXPECT_FALSE(menu->Menu()->isVisible());

    QContextMenuEvent inBand(QContextMenuEvent::Mouse, QPoint(60, 34),
                             window.mapToGlobal(QPoint(60, 34)));
    QApplication::sendEvent(&window, &inBand);
    EXPECT_TRUE(menu->Menu()->isVisible());
    menu->Menu()->hide();
}

TEST(WindowMenu, CloseClosesTheWindow)
{
    QWidget window;
    WindowMenu menu(&window);
    window.show();
    menu.Menu()->actions()[1]->trigger();
    EXPECT_FALSE(window.isVisible());
}

} // namespace
