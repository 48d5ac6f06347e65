// The yardsticks of startup.sh: the least a Qt window can be, a frameless 270 x 240 QLabel; and,
// with the argument "edit", the least a window with one edit field can be, a frameless 270 x 240
// QLineEdit showing a time. A line edit lays out its text when it is made, so it reads the
// font configuration and loads a face before its window is mapped; an empty label does neither.
// With "editcombo", a frameless 270 x 240 window holding a read-only line edit showing a time and
// a combo box, where Horalink has its digital clock and its server selector: the yardstick of
// first_frame.sh.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool edit = argc > 1 && std::strcmp(argv[1], "edit") == 0;
    const bool editCombo = argc > 1 && std::strcmp(argv[1], "editcombo") == 0;
    std::unique_ptr<QWidget> window =
        edit ? std::unique_ptr<QWidget>(new QLineEdit("23:21:39")) : std::make_unique<QLabel>();
    if (editCombo) {
        window = std::make_unique<QWidget>();
        auto* time = new QLineEdit(QStringLiteral("23:21:39"), window.get());
        time->setReadOnly(true);
        time->setGeometry(104, 36, 144, 42);
        auto* combo = new QComboBox(window.get());
        combo->setEditable(true);
        combo->addItem(QStringLiteral("pool.ntp.org"));
        combo->setGeometry(17, 200, 141, 21);
        // No caret blinks: the frames settle, as Horalink's do outside its clocks.
        time->setFocusPolicy(Qt::NoFocus);
        combo->setFocusPolicy(Qt::NoFocus);
    }
    window->setWindowFlags(Qt::FramelessWindowHint);
    window->resize(270, 240);
    window->show();
    return QApplication::exec();
}
