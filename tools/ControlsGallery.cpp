// Writes the PNGs of docs/controls, each control in each look: controls_gallery <folder>.
#include "controls/AboutDlg.h"
#include "controls/AnalogClock.h"
#include "controls/HoverButton.h"
#include "controls/IComboBox.h"
#include "controls/LinkLabel.h"
#include "res/SkinLayout.h"
#include "res/resource.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QPainter>

#include <memory>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argc > 1 ? argv[1] : ".") + "/";
    const auto save = [&](const QPixmap& picture, const QString& name) {
        if (!QDir().mkpath(folder) || !picture.save(folder + name + ".png"))
            qFatal("cannot write %s.png", qPrintable(name));
    };
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    const unsigned strips[] = {IDB_GET, IDB_SET, IDB_MINIMIZE, IDB_ABOUT, IDB_CLOSE};
    for (int i = 0; i < 5; ++i) {
        CHoverButton button;
        button.LoadFaces(strips[i]);
        const QString face = "hoverbutton-" + QString("get set minimize about close").split(' ')[i];
        save(button.grab(), face + "-normal");
        QApplication::sendEvent(&button, &enter);
        save(button.grab(), face + "-hot");
        button.setDown(true);
        save(button.grab(), face + "-pressed");
    }
    CIComboBox combo; // normal, hot and pressed looks, disabled, taller
    combo.AddString(QStringLiteral("time.nist.gov"));
    combo.AddString(QStringLiteral("pool.ntp.org"));
    combo.setCurrentIndex(1);
    for (int i = 0; i < 5; ++i) {
        combo.setEnabled(i != 3);
        combo.resize(157, i == 4 ? 32 : 21);
        QPixmap picture = combo.grab();
        combo.DrawFlat(std::make_unique<QPainter>(&picture).get(), i < 3 ? i + 1 : 1);
        save(picture, "combo-" + QString("normal hot pressed disabled tall").split(' ')[i]);
    }
    CAnalogClock clock;
    clock.SetBkColor(SkinLayout::kFace);
    for (int i = 0; i < 3; ++i) {
        clock.resize(i == 2 ? 135 : 45, i == 2 ? 135 : 45);
        clock.ShowMinuteTicks(i > 0);
        clock.ShowTime(10, 9, 36, 500);
        save(clock.grab(), "clock-" + QString("10-09-36 minute-ticks large").split(' ')[i]);
    }
    CLinkLabel link;
    link.SetBkColor(link.palette().color(QPalette::Button));
    link.SetLink(QStringLiteral("https://horalink.org"), Qt::blue);
    for (const auto& [name, width] : {std::pair("linklabel", 160), {"linklabel-clipped", 60}}) {
        link.resize(width, 14);
        save(link.grab(), name);
    }
    CAboutDlg about;
    about.show();
    save(about.grab(), QStringLiteral("aboutbox"));
}
