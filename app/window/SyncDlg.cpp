#include "app/window/SyncDlg.h"

// The form's members are named apart from the id macros of resource.h.
#include "ui_SyncDlg.h"

#include "app/clock/ClockSetter.h"
#include "app/clock/OffsetApplier.h"
#include "app/servers/ServerListFile.h"
#include "app/window/ClockFont.h"
#include "app/window/FlushDisplay.h"
#include "app/window/LogWriter.h"
#include "app/window/RoundedMask.h"
#include "app/window/ScreenCentre.h"
#include "app/window/ScreenPixelShape.h"
#include "app/window/TitleDrag.h"
#include "app/window/WindowClockConsent.h"
#include "app/window/WindowCrossing.h"
#include "app/window/WindowFonts.h"
#include "app/window/WindowMenu.h"
#include "controls/AboutDlg.h"
#include "controls/AnalogClock.h"
#include "controls/FocusCue.h"
#include "controls/HoverButton.h"
#include "controls/IComboBox.h"
#include "controls/TahomaFont.h"
#include "res/ResourceLoader.h"
#include "res/SkinLayout.h"
#include "res/resource.h"

#include <QAbstractItemView>
#include <QBitmap>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTextBlockFormat>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimerEvent>
#include <QWindow>

#include <algorithm>

CSyncDlg::CSyncDlg(QWidget* parent)
    : QDialog(parent), m_crossing(WindowCrossing::Create(this)),
      m_startThread(&CSyncDlg::StartDetachedThread)
{
    // Before the controls are made, so that each takes the skin's colours and the window's text
    // face from the start: a control made with the desktop's font would lay its text out in a
    // face the window never shows.
    setPalette(style()->standardPalette());
    setFont(WindowFonts::Normal(CTahomaFont::Family()));
    DoDataExchange();
    m_log = new LogWriter(m_editLog, this);
    m_offsetApplier = std::make_unique<OffsetApplier>(m_lastReply);
    m_consent = std::make_unique<WindowClockConsent>(this, m_log);
    m_clockSetter = ClockSetter::ForThisProcess(*m_consent, ClockSetter::Prompt::Desktop);
}

// Workers may still be running: they are released and refused from here on, and keep nothing
// of the window but their own shared pieces.
CSyncDlg::~CSyncDlg()
{
    m_crossing->Close();
}

// The controls are made from the form as instances of their members' classes, so the skinned
// ones are set up from the start.
void CSyncDlg::DoDataExchange()
{
    Ui::CSyncDlg form;
    form.setupUi(this);
    m_staticFrame = form.staticFrame;
    m_btnClose = form.btnClose;
    m_btnAbout = form.btnAbout;
    m_btnMinimize = form.btnMinimize;
    m_btnAdjust = form.btnAdjust;
    m_btnOK = form.btnOK;
    m_clock = form.clock;
    m_editTime = form.editTime;
    m_staticSkin = form.staticSkin;
    m_comboServer = form.comboServer;
    m_editLog = form.editLog;
    form.labelServer->hide();

    connect(m_btnOK, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(m_btnAdjust, &QPushButton::clicked, this, &CSyncDlg::OnAdjust);
    connect(m_btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_btnMinimize, &QPushButton::clicked, this, &CSyncDlg::OnMinimize);
    connect(m_btnAbout, &QPushButton::clicked, this, &CSyncDlg::OnAbout);
    m_editTime->installEventFilter(this);
    m_editLog->installEventFilter(this);
}

// The first showing maps the window as soon as its frame is known and fills it before control
// returns to the event loop, so the first frame it paints is the whole window.
void CSyncDlg::setVisible(bool visible)
{
    // The outline cut at the first showing stays with the native window when it is shown again.
    if (!visible || m_initialised) {
        QDialog::setVisible(visible);
        return;
    }
    m_initialised = true;
    InitFrame();
    QDialog::setVisible(true);
    ShapeInScreenPixels(this, QSize(m_nSkinWidth, m_nSkinHeight));
    connect(windowHandle(), &QWindow::screenChanged, this, &CSyncDlg::OnScreenChanged);
    FlushDisplay();
    InitContent();
    // Window managers take an icon at any time: it need not hold up the first frame.
    QMetaObject::invokeMethod(this, &CSyncDlg::SetIcon, Qt::QueuedConnection);
}

bool CSyncDlg::OnInitDialog()
{
    if (m_initialised) {
        return true;
    }
    m_initialised = true;
    InitFrame();
    InitContent();
    SetIcon();
    return true;
}

// What the window needs before it is mapped: its shape, size and place.
void CSyncDlg::InitFrame()
{
    AddWindowMenu();
    SetExeDirCurrent();
    // May start the command-line worker before the rest of the set-up, whose steps run
    // whether or not it could start.
    StartCommandLine();
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    SetSkin();
    // The window has no title bar: presses in its top band drag it.
    new TitleDrag(this);
    // Qt's own centring of a dialog allows for a frame this window does not have.
    CentreOnScreen(this);
}

// What the first frame shows inside it.
void CSyncDlg::InitContent()
{
    CreateFonts();
    ShowTime();
    PlaceControls();
    SetColours();
    LoadServerList();
    FitDropList();
    StartClocks();
}

void CSyncDlg::SetIcon()
{
    m_hIcon = ResourceLoader::LoadIcon(IDR_MAINFRAME);
    setWindowIcon(m_hIcon);
}

void CSyncDlg::AddWindowMenu()
{
    auto* menu = new WindowMenu(this);
    connect(menu, &WindowMenu::SysCommand, this, [this](int id) { OnSysCommand(unsigned(id), 0); });
}

// Reads the clock font's file from the current directory: runs after SetExeDirCurrent.
void CSyncDlg::CreateFonts()
{
    const ClockFont clockFont(m_layout);
    const WindowFonts fonts = WindowFonts::Create(CTahomaFont::Family(), clockFont);
    m_fontNormal = fonts.normal;
    m_fontBold = fonts.bold;
    m_fontClock = fonts.clock;
    m_editLog->setFont(m_fontBold);
    SetLogLines();
    m_editTime->setFont(m_fontClock);
    m_comboServer->setFont(m_fontNormal);
    m_comboServer->view()->setFont(m_fontNormal);
}

// Lines as the edit control lays them out in this face: one cell apart, from one pixel in at the
// top left.
void CSyncDlg::SetLogLines()
{
    m_editLog->document()->setDocumentMargin(0);
    QTextBlockFormat line;
    line.setLineHeight(CTahomaFont::CellHeight(m_fontBold), QTextBlockFormat::FixedHeight);
    line.setLeftMargin(1);
    m_log->SetLineFormat(line);
}

void CSyncDlg::SetSkin()
{
    const QPixmap skin =
        QPixmap::fromImage(ResourceLoader::LoadBitmap(IDB_SKIN, devicePixelRatioF()));
    const QSize logical = skin.deviceIndependentSize().toSize();
    m_nSkinWidth = logical.width();
    m_nSkinHeight = logical.height();
    const QBitmap outline = RoundedMask(logical);
    // A mask only limits input where there is no X11 shape (Wayland): the window is translucent
    // and the skin itself is cut to the rounded outline, so the corners show what lies behind.
    // The skin's own outline is drawn in its own pixels, so a denser skin keeps round corners.
    QPixmap rounded = skin;
    rounded.setMask(RoundedMask(logical, skin.devicePixelRatio()));
    setAttribute(Qt::WA_TranslucentBackground);
    m_staticSkin->setPixmap(rounded);
    m_staticSkin->setGeometry(0, 0, m_nSkinWidth, m_nSkinHeight);
    setFixedSize(m_nSkinWidth, m_nSkinHeight);
    setMask(outline);
}

// Moved to a screen of another density, the window takes the artwork drawn for it and cuts its
// outline in its pixels.
void CSyncDlg::OnScreenChanged()
{
    SetSkin();
    for (const auto& [button, id] : {std::pair(m_btnOK, IDB_GET),
                                     {m_btnAdjust, IDB_SET},
                                     {m_btnMinimize, IDB_MINIMIZE},
                                     {m_btnClose, IDB_CLOSE},
                                     {m_btnAbout, IDB_ABOUT}}) {
        button->LoadFaces(id);
    }
    ShapeInScreenPixels(this, QSize(m_nSkinWidth, m_nSkinHeight));
}

void CSyncDlg::PlaceControls()
{
    m_comboServer->setGeometry(SkinLayout::kServer);

    m_clock->SetBkColor(SkinLayout::kFace);
    m_clock->ShowMinuteTicks(false);

    m_btnOK->LoadFaces(IDB_GET);
    m_btnAdjust->LoadFaces(IDB_SET);
    m_btnMinimize->LoadFaces(IDB_MINIMIZE);
    m_btnClose->LoadFaces(IDB_CLOSE);
    m_btnAbout->LoadFaces(IDB_ABOUT);

    m_btnClose->setGeometry(SkinLayout::kClose);
    m_btnAbout->setGeometry(SkinLayout::kAbout);
    m_btnMinimize->setGeometry(SkinLayout::kMinimize);
    m_clock->setGeometry(SkinLayout::kAnalogClock);
    m_editTime->setGeometry(SkinLayout::kDigitalClock);
    m_editLog->setGeometry(SkinLayout::kLog);
    m_staticFrame->setGeometry(SkinLayout::kLogFrame);
    m_btnOK->setGeometry(SkinLayout::kGet);
    m_btnAdjust->setGeometry(SkinLayout::kSet);
}

void CSyncDlg::SetColours()
{
    // The selector's edit field asks for its colours like any edit control.
    for (QWidget* control :
         {static_cast<QWidget*>(m_editLog), static_cast<QWidget*>(m_editTime),
          static_cast<QWidget*>(m_comboServer), static_cast<QWidget*>(m_comboServer->lineEdit()),
          static_cast<QWidget*>(m_comboServer->view())}) {
        OnCtlColor(control);
    }
    // The frame around the log pane is a one-pixel white line.
    QPalette frame = m_staticFrame->palette();
    frame.setColor(QPalette::WindowText, Qt::white);
    m_staticFrame->setPalette(frame);
    m_staticFrame->setLineWidth(1);
}

// The selector and its dropped list together take at most kDropHeight pixels.
void CSyncDlg::FitDropList()
{
    const int row = std::max(1, m_comboServer->view()->sizeHintForRow(0));
    const int listHeight = SkinLayout::kDropHeight - SkinLayout::kServer.height();
    m_comboServer->setMaxVisibleItems(std::max(1, listHeight / row));
}

// Static, read-only edit and list colours: the skin's grey behind dark blue text.
void CSyncDlg::OnCtlColor(QWidget* control)
{
    QPalette palette = control->palette();
    for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Window}) {
        palette.setColor(role, SkinLayout::kFace);
    }
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText}) {
        palette.setColor(role, SkinLayout::kText);
    }
    control->setPalette(palette);
}

// The same clock as the analogue clock's wake-ups (std::time may lag behind by a few ms), and
// the text shown from its first character: a field that scrolled to its caret could hide the
// hours.
void CSyncDlg::ShowTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    m_timeNow = static_cast<std::time_t>(now.toSecsSinceEpoch());
    const QString text = now.toString(QStringLiteral("HH:mm:ss"));
    if (text == m_strTime && m_editTime->text() == text) {
        return;
    }
    m_strTime = text;
    m_editTime->setText(m_strTime);
    m_editTime->setCursorPosition(0);
}

// The digital clock is served by the analogue clock's wake-ups, which come at every whole second
// as well, each armed as one precise single-shot timer; both sleep while the window is hidden
// or minimised.
void CSyncDlg::StartClocks()
{
    m_clock->SetSecondWakeups(true);
    connect(m_clock, &CAnalogClock::Ticked, this, [this] { OnTimer(kClockTimer); });
}

// A minimised window shows no clock: both stop, and catch up when it comes back.
void CSyncDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !m_initialised) {
        return;
    }
    if (isMinimized()) {
        m_clock->Run(false);
    } else if (!m_clock->IsRunning()) {
        m_clock->Run(true);
    }
}

void CSyncDlg::OnTimer(int nIDEvent)
{
    if (nIDEvent == kClockTimer) {
        ShowTime();
    }
}

bool CSyncDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_editTime && event->type() == QEvent::FocusIn) {
        OnSetFocusTime();
    }
    if (watched == m_editLog &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        ShowLogFocus(*static_cast<QFocusEvent*>(event));
    }
    return QDialog::eventFilter(watched, event);
}

// The log pane shows no caret: when the keyboard brings the focus, its white frame takes the
// skin's text colour instead.
void CSyncDlg::ShowLogFocus(const QFocusEvent& event)
{
    m_bLogFocusCue = FocusCueAfter(event, m_bLogFocusCue);
    QPalette frame = m_staticFrame->palette();
    frame.setColor(QPalette::WindowText, m_bLogFocusCue ? SkinLayout::kText : QColor(Qt::white));
    m_staticFrame->setPalette(frame);
}

// The digital clock never keeps the focus or shows a caret.
void CSyncDlg::OnSetFocusTime()
{
    m_btnOK->setFocus(Qt::OtherFocusReason);
}

void CSyncDlg::accept()
{
    OnOK();
}

void CSyncDlg::done(int result)
{
    QDialog::done(result);
    OnDestroy();
}

void CSyncDlg::OnDestroy()
{
    m_fontBold = QFont();
    m_fontClock = QFont();
    m_fontNormal = QFont();
}

void CSyncDlg::OnSysCommand(unsigned nID, long)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        OnAbout();
    }
}

void CSyncDlg::OnMinimize()
{
    showMinimized();
}

void CSyncDlg::OnAbout()
{
    // Owned by the window, as a box opened without a parent is by the main window.
    CAboutDlg(this).exec();
}

// The folder is taken as it is: on this system a folder name may end in blanks. An installed
// program keeps the directory it was started in: its files are found by absolute paths.
void CSyncDlg::SetExeDirCurrent()
{
    const QString folder = m_exeDir.isEmpty() ? QCoreApplication::applicationDirPath() : m_exeDir;
    m_layout = InstallLayout::Detect(folder);
    if (!m_layout.IsInstalled()) {
        QDir::setCurrent(folder);
    }
}

void CSyncDlg::LoadServerList()
{
    for (const QString& server : ServerListFile::Read(ServerListFile::Locate(m_layout))) {
        AddServer(server);
    }
    if (m_comboServer->count() == 0) {
        for (const QString& server : ServerListFile::BuiltIns()) {
            AddServer(server);
        }
    }
    m_comboServer->setCurrentIndex(0);
    // A name longer than the box (nts://time.cloudflare.com) shows its start, its scheme.
    m_comboServer->lineEdit()->setCursorPosition(0);
}

void CSyncDlg::AddServer(const QString& server)
{
    m_comboServer->AddString(server);
}

void CSyncDlg::SetLogPace(std::chrono::milliseconds pace)
{
    m_log->SetPace(pace);
}

void CSyncDlg::SetClockSetter(std::unique_ptr<ClockSetter> setter)
{
    m_clockSetter = std::move(setter);
}
