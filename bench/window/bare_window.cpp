// The yardsticks of startup.sh: the least a Qt window can be, a frameless 270 x 240 QLabel; and,
// with the argument "edit", the least a window with one edit field can be, a frameless 270 x 240
// QLineEdit showing a time. A line edit lays out its text when it is made, so it reads the
// font configuration and loads a face before its window is mapped; an empty label does neither.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool edit = argc > 1 && std::strcmp(argv[1], "edit") == 0;
    const std::unique_ptr<QWidget> window =
        edit ? std::unique_ptr<QWidget>(new QLineEdit("23:21:39")) : std::make_unique<QLabel>();
    window->setWindowFlags(Qt::FramelessWindowHint);
    window->resize(270, 240);
    window->show();
    return QApplication::exec();
}
