// The yardstick of startup.sh: the least a Qt window can be, a frameless 270 x 240 QLabel.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label;
    label.setWindowFlags(Qt::FramelessWindowHint);
    label.resize(270, 240);
    label.show();
    return QApplication::exec();
}
