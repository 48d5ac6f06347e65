// Entry point of the GUI test programs: a QApplication on the offscreen platform unless the
// environment names another (the Xvfb runs set xcb).
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Never the machine's system bus: its timedated could set the clock past the capability
    // drop. The D-Bus tests name their private bus themselves.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/horalink-tests", 1);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
