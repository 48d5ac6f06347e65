// Writes a PNG of each control in each look into a folder: controls_gallery <folder>.
// The pictures in docs/controls come from here, rendered on the offscreen platform.
#include "controls/AboutDlg.h"
#include "controls/AnalogClock.h"
#include "controls/HoverButton.h"
#include "controls/IComboBox.h"
#include "controls/LinkLabel.h"
#include "res/resource.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QPainter>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argc > 1 ? argv[1] : "."));
    const auto save = [&folder](const QPixmap& picture, const QString& name) {
        if (!folder.mkpath(".") || !picture.save(folder.filePath(name + ".png")))
            qFatal("cannot write %s.png", qPrintable(name));
    };
    for (const auto& [id, name] :
         {std::pair(IDB_GET, "get"), std::pair(IDB_SET, "set"), std::pair(IDB_MINIMIZE, "minimize"),
          std::pair(IDB_ABOUT, "about"), std::pair(IDB_CLOSE, "close")}) {
        CHoverButton button;
        button.LoadFaces(id);
        save(button.grab(), QStringLiteral("hoverbutton-%1-normal").arg(name));
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(&button, &enter);
        save(button.grab(), QStringLiteral("hoverbutton-%1-hot").arg(name));
        button.setDown(true);
        save(button.grab(), QStringLiteral("hoverbutton-%1-pressed").arg(name));
    }
    // The combo box in each look of its flat frame, then disabled, then taller.
    CIComboBox combo;
    combo.AddString(QStringLiteral("time.nist.gov"));
    combo.AddString(QStringLiteral("pool.ntp.org"));
    combo.setCurrentIndex(1);
    for (const auto& [name, look, height] : {std::tuple("normal", CIComboBox::FLAT_NORMAL, 21),
                                             std::tuple("hot", CIComboBox::FLAT_HOT, 21),
                                             std::tuple("pressed", CIComboBox::FLAT_PRESSED, 21),
                                             std::tuple("disabled", CIComboBox::FLAT_NORMAL, 21),
                                             std::tuple("tall", CIComboBox::FLAT_NORMAL, 32)}) {
        combo.setEnabled(QByteArray(name) != "disabled");
        combo.resize(157, height);
        QPixmap picture = combo.grab();
        QPainter painter(&picture);
        combo.DrawFlat(&painter, look);
        save(picture, QStringLiteral("combo-") + name);
    }
    CAnalogClock clock;
    clock.Run(false);
    clock.SetBkColor(QColor(192, 192, 192));
    for (const auto& [name, size, ticks] :
         {std::tuple("10-09-36", 45, false), std::tuple("minute-ticks", 45, true),
          std::tuple("large", 135, true)}) {
        clock.resize(size, size);
        clock.ShowMinuteTicks(ticks);
        clock.ShowTime(10, 9, 36, 500);
        save(clock.grab(), QStringLiteral("clock-") + name);
    }
    CLinkLabel link;
    link.SetBkColor(link.palette().color(QPalette::Button));
    link.SetLink(QStringLiteral("https://horalink.org"), Qt::blue);
    for (const auto& [name, width] : {std::pair("", 160), std::pair("-clipped", 60)}) {
        link.resize(width, 14);
        save(link.grab(), QStringLiteral("linklabel") + name);
    }
    CAboutDlg about;
    about.show();
    save(about.grab(), QStringLiteral("aboutbox"));
    return 0;
}
