#include "app/ScreenCentre.h"

#include <QDialog>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

TEST(ScreenCentre, AFramelessDialogOpensInTheMiddleOfTheScreen)
{
    QDialog dialog;
    dialog.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    dialog.setFixedSize(270, 240);
    CentreOnScreen(&dialog);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QRect screen = dialog.screen()->availableGeometry();
    EXPECT_EQ(dialog.frameGeometry().size(), QSize(270, 240));
    EXPECT_EQ(dialog.frameGeometry().left() - screen.left(),
              screen.right() - dialog.frameGeometry().right());
    EXPECT_EQ(dialog.frameGeometry().top() - screen.top(),
              screen.bottom() - dialog.frameGeometry().bottom());
}

} // namespace
