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
#include <QMouseEvent>
#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace
{

QDir g_folder;

void Save(QWidget& widget, const QString& name)
{
    const QString path = g_folder.filePath(name + QStringLiteral(".png"));
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

void HoverButtons()
{
    const struct {
        unsigned id;
        const char* name;
    } strips[] = {{IDB_GET, "get"},
                  {IDB_SET, "set"},
                  {IDB_MINIMIZE, "minimize"},
                  {IDB_ABOUT, "about"},
                  {IDB_CLOSE, "close"}};
    for (const auto& strip : strips) {
        CHoverButton button;
        button.LoadFaces(strip.id);
        const QString base = QStringLiteral("hoverbutton-%1-").arg(strip.name);
        Save(button, base + QStringLiteral("normal"));
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(&button, &enter);
        Save(button, base + QStringLiteral("hot"));
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(2, 2));
        Save(button, base + QStringLiteral("pressed"));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(2, 2));
    }
}

void Combos()
{
    QCursor::setPos(5000, 5000);
    CIComboBox combo;
    combo.AddString(QStringLiteral("time.nist.gov"));
    combo.AddString(QStringLiteral("pool.ntp.org"));
    combo.setCurrentIndex(1);
    combo.resize(157, 21);
    combo.show();
    Save(combo, QStringLiteral("combo-normal"));

    const QPoint inside(2, 10);
    QCursor::setPos(combo.mapToGlobal(inside));
    QMouseEvent move(QEvent::MouseMove, QPointF(inside), QPointF(combo.mapToGlobal(inside)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&combo, &move);
    Save(combo, QStringLiteral("combo-hot"));
    QTest::mousePress(&combo, Qt::LeftButton, {}, QPoint(0, 10));
    QTest::qWait(30);
    Save(combo, QStringLiteral("combo-pressed"));
    QTest::mouseRelease(&combo, Qt::LeftButton, {}, QPoint(0, 10));

    QCursor::setPos(5000, 5000);
    QTest::qWait(30);
    combo.setEnabled(false);
    Save(combo, QStringLiteral("combo-disabled"));
    combo.setEnabled(true);
    combo.resize(157, 32);
    Save(combo, QStringLiteral("combo-tall"));
}

void Clocks()
{
    CAnalogClock clock;
    clock.Run(false);
    clock.resize(45, 45);
    clock.SetBkColor(QColor(192, 192, 192));
    clock.ShowMinuteTicks(false);
    clock.ShowTime(10, 9, 36, 500);
    Save(clock, QStringLiteral("clock-10-09-36"));
    clock.ShowMinuteTicks(true);
    Save(clock, QStringLiteral("clock-minute-ticks"));
    clock.resize(135, 135);
    Save(clock, QStringLiteral("clock-large"));
}

void Links()
{
    CLinkLabel link;
    link.resize(160, 14);
    link.SetBkColor(link.palette().color(QPalette::Button));
    link.SetLink(QStringLiteral("https://horalink.org"), QColor(0, 0, 255));
    Save(link, QStringLiteral("linklabel"));
    link.resize(60, 14);
    Save(link, QStringLiteral("linklabel-clipped"));
}

void AboutBox()
{
    CAboutDlg about;
    about.show();
    Save(about, QStringLiteral("aboutbox"));
}

} // namespace

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    g_folder = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    if (!g_folder.mkpath(QStringLiteral("."))) {
        return 1;
    }
    HoverButtons();
    Combos();
    Clocks();
    Links();
    AboutBox();
    return 0;
}
