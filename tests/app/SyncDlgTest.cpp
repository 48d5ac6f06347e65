#include "AppTestSupport.h"

#include "app/SyncSteps.h"
#include "app/window/FontDescription.h"
#include "app/window/TitleDrag.h"
#include "controls/AboutDlg.h"
#include "controls/AnalogClock.h"
#include "controls/HoverButton.h"
#include "controls/TahomaFont.h"
#include "res/SkinLayout.h"
#include "tests/common/UdpResponder.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>

#include <QAccessible>

#include <map>
#include <thread>
#include <tuple>

// The window shown from a temporary folder with a short pace, a fake clock, counted workers and
// the server that refuses at once in its selector. Its command line asks for a worker that
// cannot be created, so the set-up has to go on without one.
class SyncDlgTest : public testing::Test
{
protected:
    void SetUp() override
    {
        SetInProcess(*m_dlg, *m_clock);
        m_dlg->SetCommandLine(CommandLine::Parse({"t.example", "yes"}));
        m_dlg->SetThreadStarter([this](std::function<void()> body) {
            ++m_starts;
            if (!m_threads) {
                return false;
            }
            std::thread([workers = m_workers, body = std::move(body)] {
                ++workers->began;
                body();
                ++workers->ended;
            }).detach();
            return true;
        });
        m_dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dlg));
        Control<CIComboBox>(*m_dlg, "comboServer")
            ->setEditText(QString::fromStdString(kRefusingAddress));
    }

    void TearDown() override { EXPECT_TRUE(!m_window || WaitIdle(*m_dlg)); }

    // Runs a command and returns the log once everything is written.
    QStringList Run(void (CSyncDlg::*command)())
    {
        (m_dlg->*command)();
        EXPECT_TRUE(WaitIdle(*m_dlg));
        return LogLines(*m_dlg);
    }

    const QStringList m_noAnswer = {QString::fromStdString(SyncSteps::LookupLine(kRefusingAddress)),
                                    SyncSteps::kRetrieveFailed};
    // Shared: a worker may outlive the fixture.
    struct Workers {
        std::atomic<int> began = 0, ended = 0;
    };
    std::shared_ptr<Workers> m_workers = std::make_shared<Workers>();
    // Shared: a worker may outlive the window and still hold the client that points here.
    std::shared_ptr<FakeClock> m_clock = std::make_shared<FakeClock>();
    std::unique_ptr<TestWindow> m_window = std::make_unique<TestWindow>();
    CSyncDlg* m_dlg = &m_window->dlg;
    std::atomic<int> m_starts = 0;
    std::atomic<bool> m_threads = false;
};

// The window has no frame of the window system's nor a size of its own choosing, and its outline
// (the input it takes, and its shape where the window system cuts one) is the rectangle with
// rounded corners, mirror-symmetric. The About button opens the About box over it.
TEST_F(SyncDlgTest, FramelessRoundedAndDraggedByItsTopBand)
{
    EXPECT_EQ(m_starts, 1);
    EXPECT_TRUE(m_dlg->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(m_dlg->minimumSize(), m_dlg->maximumSize()); // nothing to resize it by
    const QRegion outline = m_dlg->mask();
    const int w = m_dlg->width(), h = m_dlg->height();
    EXPECT_TRUE(outline.contains(QPoint(w / 2, 0)) && outline.contains(QPoint(0, h / 2)));
    int asymmetric = 0;
    for (int i = 0; i < w * h; ++i) {
        const bool in = outline.contains(QPoint(i % w, i / w));
        asymmetric += in != outline.contains(QPoint(w - 1 - i % w, i / w)) ||
                      in != outline.contains(QPoint(i % w, h - 1 - i / w));
    }
    EXPECT_EQ(asymmetric, 0);
    for (const QPoint corner : {QPoint(0, 0), {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}) {
        EXPECT_FALSE(outline.contains(corner)) << corner.x() << "," << corner.y();
    }

    // Presses on the skin and the analogue clock reach the window, which follows the mouse when
    // the window system cannot move it (a bare X server); the band ends at y 35. The digital
    // clock passes the focus on.
    m_dlg->findChild<TitleDrag*>()->SetSystemMove([](QWindow*) { return false; });
    auto* skin = Control<QLabel>(*m_dlg, "staticSkin");
    for (const auto& [target, at, moves] :
         {std::tuple<QWidget*, QPoint, bool>{skin, {120, 34}, true},
          {Control<CAnalogClock>(*m_dlg, "clock"), {20, 0}, true},
          {skin, {120, 35}, false},
          {Control<CHoverButton>(*m_dlg, "btnAbout"), {7, 7}, false}}) {
        const QPoint start = m_dlg->pos();
        QTest::mousePress(target, Qt::LeftButton, {}, at);
        QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at) + QPoint(40, 25),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(m_dlg, &move);
        QTest::mouseRelease(m_dlg, Qt::LeftButton, {}, at);
        EXPECT_EQ(m_dlg->pos() - start, moves ? QPoint(40, 25) : QPoint()) << at.y();
    }

    QTest::mouseClick(Control<QLineEdit>(*m_dlg, "editTime"), Qt::LeftButton);
    EXPECT_TRUE(Control<CHoverButton>(*m_dlg, "btnOK")->hasFocus());
    bool about = false;
    QTimer::singleShot(0, m_dlg, [&] {
        auto* box = m_dlg->findChild<CAboutDlg*>();
        about = box != nullptr && box->isVisible();
        if (box != nullptr) {
            box->reject();
        }
    });
    Control<CHoverButton>(*m_dlg, "btnAbout")->click();
    QTest::qWait(10);
    EXPECT_TRUE(about);
}

// With workers that run, asking the refusing address: a second "OK" while a worker waits runs no
// other and leads its lines. Before any retrieve "Adjust" retrieves; after one it sets the clock
// by the offset relative to now, however old the retrieve, and forgets the offset once it is
// applied, not before. Closing while a worker waits for its line returns at once and lets the
// worker go; it ends without touching the window.
TEST_F(SyncDlgTest, CommandsRunOneWorkerAtATimeApplyAnOffsetOnceAndLetGoOnClose)
{
    if (!IsUdpPortFree(123, kRefusingAddress)) {
        GTEST_SKIP() << "UDP port 123 is taken at " << kRefusingAddress;
    }
    m_threads = true;
    m_dlg->SetLogPace(std::chrono::milliseconds(10));
    m_dlg->OnOK();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_workers->began == 1; }));
    QTest::qWait(100); // refused at once: by now the worker's line waits behind the look-up line
    EXPECT_EQ(Run(&CSyncDlg::OnOK), m_noAnswer);
    EXPECT_EQ(m_starts, 2);

    m_dlg->SetLogPace(std::chrono::milliseconds(1));
    EXPECT_EQ(Run(&CSyncDlg::OnAdjust), m_noAnswer);
    SntpReply& last = SyncDlgProbe::LastReply(*m_dlg);
    last.destination = CNtpTimestamp::Now().AddSeconds(-7200);
    last.clockOffset = -600.25;
    m_clock->m_succeeds = false;
    EXPECT_EQ(Run(&CSyncDlg::OnAdjust), QStringList{SyncSteps::kAdjustFailed});
    m_clock->m_succeeds = true;
    EXPECT_EQ(Run(&CSyncDlg::OnAdjust), QStringList{SyncSteps::kAdjusted});
    ASSERT_EQ(m_clock->m_settings.size(), 2u); // the refused setting and the one made
    EXPECT_NEAR(FromNow(m_clock->m_settings[1]), -600.25, 1.0);
    EXPECT_EQ(Run(&CSyncDlg::OnAdjust), m_noAnswer);
    EXPECT_EQ(m_clock->m_settings.size(), 2u);

    m_dlg->SetLogPace(std::chrono::seconds(1));
    // An earlier worker counts its end only after it has let go of the window.
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_workers->ended == m_workers->began; }));
    const int began = m_workers->began;
    m_dlg->OnOK();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_workers->began == began + 1; }));
    QTest::qWait(100); // refused at once: by now the worker waits for its line
    QElapsedTimer closing;
    closing.start();
    m_window.reset();
    EXPECT_LT(closing.elapsed(), 500);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_workers->ended == began + 1; }));
}

// A widget's picture, comparable with the skin's bitmaps.
static QImage Picture(QWidget* widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A picture under docs/controls, drawn by the gallery and looked at by a person.
static QImage Gallery(const QString& name)
{
    return QImage(QStringLiteral(HORALINK_DOCS "/controls/%1.png").arg(name))
        .convertToFormat(QImage::Format_RGB32);
}

// The window's picture with both clocks held at one time.
static QImage Still(QWidget& window)
{
    auto* clock = Control<CAnalogClock>(window, "clock");
    clock->Run(false);
    clock->ShowTime(10, 9, 36, 500);
    Control<QLineEdit>(window, "editTime")->setText(QStringLiteral("12:34:56"));
    Control<CIComboBox>(window, "comboServer")->setEditText(QStringLiteral("pool.ntp.org"));
    return Picture(&window);
}

// Each button shows the normal face of its own strip and the analogue clock the skin's face with
// hour marks only, as the gallery's pictures show them. Under a dark desktop theme the window
// looks the same, the selector's edit field included, which has the log pane's colours.
TEST_F(SyncDlgTest, ControlsTakeTheSkinsLookWhateverTheDesktopTheme)
{
    for (const auto& [name, face] : {std::pair("btnOK", "get"),
                                     {"btnAdjust", "set"},
                                     {"btnMinimize", "minimize"},
                                     {"btnAbout", "about"},
                                     {"btnClose", "close"}}) {
        EXPECT_EQ(Picture(Control<CHoverButton>(*m_dlg, name)),
                  Gallery(QStringLiteral("hoverbutton-%1-normal").arg(face)))
            << name;
    }
    const QImage light = Still(*m_dlg);
    EXPECT_EQ(Picture(Control<CAnalogClock>(*m_dlg, "clock")), Gallery("clock-10-09-36"));

    const QPalette original = QApplication::palette();
    QApplication::setPalette(QPalette(QColor(40, 40, 48), QColor(30, 30, 36)));
    TestWindow themed;
    themed.dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&themed.dlg));
    const QImage shown = Still(themed.dlg);
    QApplication::setPalette(original);
    EXPECT_EQ(shown, light);
    const QImage edit = Picture(Control<CIComboBox>(themed.dlg, "comboServer")->lineEdit());
    EXPECT_EQ(QColor(edit.pixel(edit.width() - 2, 1)), SkinLayout::kFace);
    QRgb darkest = qRgb(255, 255, 255);
    for (int i = 0; i < edit.width() * edit.height(); ++i) {
        const QRgb pixel = edit.pixel(i % edit.width(), i / edit.width());
        darkest = qGray(pixel) < qGray(darkest) ? pixel : darkest;
    }
    EXPECT_EQ(QColor(darkest), SkinLayout::kText);
}

// A drawing at twice the density, as its file holds it.
static QImage Dense(const char* name)
{
    return QImage(QStringLiteral(":/res/bitmaps/%1@2x.png").arg(QString::fromLatin1(name)))
        .convertToFormat(QImage::Format_RGB32);
}

// On a screen of twice the density (run with QT_SCALE_FACTOR=2) the window shows the drawings
// made at that density, pixel for pixel, also after it was told of a screen change: the skin
// everywhere but its four rounded corners, and each button's normal and pressed face. Read from
// the files themselves, not through the program's loader. The analogue clock is drawn in the
// screen's pixels: an enlarged 1x picture would be made of uniform 2 x 2 blocks only.
TEST_F(SyncDlgTest, DenseScreenShowsTheDenseArtworkPixelForPixel)
{
    if (m_dlg->devicePixelRatioF() != 2.0) {
        GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    }
    // The outline's corner ellipse is 6 logical pixels across.
    const auto cornerless = [](QImage image) {
        image.setDevicePixelRatio(1);
        QPainter painter(&image);
        for (const QPoint corner : {QPoint(0, 0), {528, 0}, {0, 468}, {528, 468}}) {
            painter.fillRect(QRect(corner, QSize(12, 12)), Qt::magenta);
        }
        return image;
    };
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "shown" : "after a screen change");
        EXPECT_EQ(cornerless(Picture(Control<QLabel>(*m_dlg, "staticSkin"))),
                  cornerless(Dense("Skin")));
        for (const auto& [name, file] : {std::pair("btnOK", "FaceGet"),
                                         {"btnAdjust", "FaceSet"},
                                         {"btnMinimize", "FaceMinimize"},
                                         {"btnAbout", "FaceAbout"},
                                         {"btnClose", "FaceClose"}}) {
            const QImage faces = Dense(file);
            const int w = faces.width() / 3;
            auto* button = Control<CHoverButton>(*m_dlg, name);
            EXPECT_EQ(Picture(button), faces.copy(0, 0, w, faces.height())) << name;
            button->setDown(true); // the pressed face, the strip's second
            EXPECT_EQ(Picture(button), faces.copy(w, 0, w, faces.height())) << name;
            button->setDown(false);
        }
        emit m_dlg->windowHandle()->screenChanged(m_dlg->screen());
    }

    Still(*m_dlg);
    const QImage clock = Picture(Control<CAnalogClock>(*m_dlg, "clock"));
    ASSERT_EQ(clock.size(), 2 * SkinLayout::kAnalogClock.size());
    int split = 0;
    for (int y = 0; y < clock.height(); y += 2) {
        for (int x = 0; x < clock.width(); x += 2) {
            const QRgb p = clock.pixel(x, y);
            split += clock.pixel(x + 1, y) != p || clock.pixel(x, y + 1) != p ||
                     clock.pixel(x + 1, y + 1) != p;
        }
    }
    EXPECT_GT(split, 20);
}

// The digital clock changes a few milliseconds after each wall-clock second, second by second.
// Minimised or hidden, both clocks stop; shown again, they catch up at once.
TEST_F(SyncDlgTest, ClocksFollowTheWallClockSecondsAndSleepWhileNotShown)
{
    auto* time = Control<QLineEdit>(*m_dlg, "editTime");
    QList<QDateTime> changes;
    QObject::connect(time, &QLineEdit::textChanged, time,
                     [&changes] { changes << QDateTime::currentDateTime(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.size() == 4; }, 4500));
    for (int i = 0; i < 4; ++i) {
        // Generous for a loaded machine; a free-running timer keeps a phase anywhere in the second.
        EXPECT_LT(changes[i].time().msec(), 40) << i;
        if (i > 0) {
            EXPECT_EQ(changes[i].toSecsSinceEpoch() - changes[i - 1].toSecsSinceEpoch(), 1) << i;
        }
    }
    EXPECT_EQ(time->text(), changes.last().toString("HH:mm:ss"));

    for (const bool minimise : {true, false}) {
        SCOPED_TRACE(minimise ? "minimised" : "hidden");
        minimise ? m_dlg->showMinimized() : m_dlg->hide();
        const QString before = time->text();
        QTest::qWait(1100);
        EXPECT_EQ(time->text(), before);
        minimise ? m_dlg->showNormal() : m_dlg->show();
        EXPECT_EQ(time->text(), QDateTime::currentDateTime().toString("HH:mm:ss"));
    }
}

// Without its faces: Tahoma's stand-in is a sans face, and the clock's fallback (Tahoma bold,
// cell height 38, sized by the face's Windows metrics) shows the whole time from its first
// character in the digital clock's field.
TEST_F(SyncDlgTest, FallbackFacesAreSansAndTheFallbackClockShowsTheWholeTime)
{
    EXPECT_EQ(
        QFontInfo(FontDescription{-11, 400, false, true, "No Such Face"}.CreateFont()).family(),
        QFontInfo(QFont(QStringLiteral("Sans Serif"))).family());

    auto* time = Control<QLineEdit>(*m_dlg, "editTime");
    time->setFont(FontDescription{38, 700, false, true, CTahomaFont::Family()}.CreateFont());
    time->clear();
    m_dlg->OnTimer(CSyncDlg::kClockTimer);
    const QImage image = Picture(time);
    int first = image.width(), last = -1;
    for (int i = 0; i < image.width() * image.height(); ++i) {
        const int x = i % image.width();
        first = qGray(image.pixel(x, i / image.width())) < 100 ? std::min(first, x) : first;
        last = qGray(image.pixel(x, i / image.width())) < 100 ? std::max(last, x) : last;
    }
    EXPECT_NEAR(last - first + 1, QFontMetrics(time->font()).boundingRect(time->text()).width(), 3)
        << time->text().toStdString();
    EXPECT_GT(first, 0);
}

// Every control tells assistive technology what it is and does (a label pointing to a control
// names it, the selector's way here, as screen readers take it); the digital clock's value is
// the time it shows. The log pane tells of each line once, when it is typed in full, never of
// each character, and of its whole text when it is cleared.
TEST_F(SyncDlgTest, EveryControlIsNamedDescribedAndTheLogAnnouncesWholeLines)
{
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(m_dlg);
    ASSERT_NE(window, nullptr);
    std::map<QString, QAccessibleInterface*> byName;
    for (int i = 0; i < window->childCount(); ++i) {
        QAccessibleInterface* child = window->child(i);
        if (child->state().focusable || child->role() == QAccessible::Clock) {
            const auto labels = child->relations(QAccessible::Label);
            byName[(labels.isEmpty() ? child : labels.first().first)->text(QAccessible::Name)] =
                child;
            EXPECT_FALSE(child->text(QAccessible::Description).isEmpty()) << child->role();
        }
    }
    for (const auto& [name, role, object] :
         {std::tuple("Get the time", QAccessible::Button, "btnOK"),
          {"Set the clock", QAccessible::Button, "btnAdjust"},
          {"Minimize", QAccessible::Button, "btnMinimize"},
          {"About", QAccessible::Button, "btnAbout"},
          {"Close", QAccessible::Button, "btnClose"},
          {"Time server", QAccessible::ComboBox, "comboServer"},
          {"Log", QAccessible::EditableText, "editLog"},
          {"Digital clock", QAccessible::EditableText, "editTime"},
          {"Analogue clock", QAccessible::Clock, "clock"}}) {
        QAccessibleInterface* found = byName[QString::fromLatin1(name)];
        ASSERT_NE(found, nullptr) << name;
        EXPECT_EQ(std::pair(found->role(), found->object()->objectName()),
                  std::pair(role, QString::fromLatin1(object)))
            << name;
    }
    EXPECT_EQ(byName.size(), 9u); // and none unnamed
    EXPECT_EQ(byName[QStringLiteral("Digital clock")]->text(QAccessible::Value),
              Control<QLineEdit>(*m_dlg, "editTime")->text());

    QStringList heard;
    SyncDlgProbe::Log(*m_dlg).SetAnnouncer([&heard](QAccessibleEvent* event) {
        if (event->type() == QAccessible::TextInserted) {
            heard.append(static_cast<QAccessibleTextInsertEvent*>(event)->textInserted());
        } else if (event->type() == QAccessible::TextRemoved) {
            heard.append("removed " +
                         static_cast<QAccessibleTextRemoveEvent*>(event)->textRemoved());
        }
    });
    // An empty log's clearing removes nothing; a full one's tells of the whole text.
    for (int run = 0; run < 2; ++run) {
        const QString before = Control<QTextEdit>(*m_dlg, "editLog")->toPlainText();
        EXPECT_EQ(before.isEmpty(), run == 0);
        const QStringList lines = Run(&CSyncDlg::OnOK);
        EXPECT_EQ(heard, (run == 0 ? QStringList() : QStringList{"removed " + before}) + lines);
        heard.clear();
    }
}

// The log's lines lie one cell of the face apart (13 px for this 11 px Tahoma), as the edit
// control lays them out, starting about one pixel in from the top left; its bold, drawn from the
// face's bitmap strikes, is darker than the regular by at least a third.
TEST_F(SyncDlgTest, LogLinesAreReallyBoldAndOneCellApart)
{
    auto* pane = Control<QTextEdit>(*m_dlg, "editLog");
    SyncDlgProbe::Log(*m_dlg).SetText(QStringLiteral("LOCAL CLOCK OFFSET:\r\n").repeated(3));
    // The first row of each band of inked rows, the leftmost inked column and the inked count.
    const auto ink = [pane] {
        const QImage image = Picture(pane);
        std::vector<int> bands;
        int left = image.width(), dark = 0;
        for (int y = 0, previous = 0; y < image.height(); ++y) {
            int inked = 0;
            for (int x = 0; x < image.width(); ++x) {
                inked += qGray(image.pixel(x, y)) < 96;
                left = qGray(image.pixel(x, y)) < 96 ? std::min(left, x) : left;
            }
            if (inked > 0 && previous == 0) {
                bands.push_back(y);
            }
            previous = inked;
            dark += inked;
        }
        return std::tuple(bands, left, dark);
    };
    const auto [bands, left, bold] = ink();
    EXPECT_EQ(bands, std::vector<int>({bands.at(0), bands[0] + 13, bands[0] + 26}));
    EXPECT_LE(left, 2);     // the capital L's stem, one pixel in plus its side bearing
    EXPECT_LE(bands[0], 3); // the capitals' tops under a baseline about 10 px down

    QFont regular = pane->font();
    regular.setWeight(QFont::Normal);
    pane->setFont(regular);
    const int normal = std::get<2>(ink());
    EXPECT_GE(3 * bold, 4 * normal) << bold << " dark pixels in bold, " << normal << " in regular";
}

// "OK" against a silent server, then "Adjust" on the window's thread while that worker still
// waits: the worker asks with a query of its own and hands over only its result, so the clock
// is set once and the worker's failure comes after. The thread sanitizer's build runs this too:
// a query object shared with the window's clock setting shows there as a race.
TEST_F(SyncDlgTest, AdjustWhileAWorkerWaitsSharesNothingWithIt)
{
    const std::string address = RunAddress(3);
    UdpResponder silent({}, address, 123);
    if (silent.Port() == 0) {
        GTEST_SKIP() << "UDP port 123 is taken at " << address;
    }
    m_threads = true;
    SyncDlgProbe::Options(*m_dlg).timeoutMs = 300;
    SntpReply& last = SyncDlgProbe::LastReply(*m_dlg);
    last.destination = CNtpTimestamp::Now();
    last.clockOffset = 2.0;
    Control<CIComboBox>(*m_dlg, "comboServer")->setEditText(QString::fromStdString(address));
    m_dlg->OnOK();
    ASSERT_TRUE(QTest::qWaitFor([&silent] { return silent.Received().size() == 1; }, 5000));
    const CNtpTimestamp adjusted = CNtpTimestamp::Now();
    m_dlg->OnAdjust();
    ASSERT_TRUE(WaitIdle(*m_dlg));
    ASSERT_EQ(m_clock->m_settings.size(), 1u);
    EXPECT_NEAR(CNtpTimestamp::FromSystemTime(m_clock->m_settings[0]).Difference(adjusted), 2.0,
                0.2);
    EXPECT_EQ(LogLines(*m_dlg).back(), SyncSteps::kRetrieveFailed);
}
