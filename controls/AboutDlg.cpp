#include "controls/AboutDlg.h"

#include "ui_AboutDlg.h"

#include "controls/AccessibleControls.h"
#include "controls/LinkLabel.h"
#include "res/Version.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    DoDataExchange();
    OnInitDialog();
}

QString CAboutDlg::HomePageUrl()
{
    return QString::fromUtf8(Version::kHomePage);
}

QString CAboutDlg::MailUrl()
{
    // The subject's quotes are written as they are; QUrl percent-encodes them (%22) when the
    // URL is handed on, which mail programs decode back into quotes.
    return QStringLiteral("mailto:%1?subject=\"%2\"")
        .arg(QString::fromUtf8(Version::kSupportMail), QString::fromUtf8(Version::kMailSubject));
}

void CAboutDlg::DoDataExchange()
{
    Ui::CAboutDlg form;
    form.setupUi(this);
    m_linkMail = form.linkMail;
    m_linkHome = form.linkHome;
    m_labelProduct = form.labelProduct;
    m_btnOK = form.btnOK;
}

void CAboutDlg::OnInitDialog()
{
    // The box's own background, so that the links sit on it without a box of their own.
    const QColor face = palette().color(backgroundRole());
    const QColor link = AccessibleControls::LinkColourOn(face);
    m_linkHome->SetBkColor(face);
    m_linkHome->SetLink(HomePageUrl(), link);
    connect(m_linkHome, &CLinkLabel::clicked, this, &CAboutDlg::OnHomeLink);
    m_linkMail->SetBkColor(face);
    m_linkMail->SetLink(QString::fromUtf8(Version::kSupportMail), link);
    connect(m_linkMail, &CLinkLabel::clicked, this, &CAboutDlg::OnMailLink);

    // The box's font made bold, for the product line only: the lines keep one size.
    m_fontBold = font();
    m_fontBold.setWeight(QFont::Bold);
    m_labelProduct->setFont(m_fontBold);
    m_labelProduct->setText(QStringLiteral("%1 v%2").arg(
        QString::fromUtf8(Version::kProductName), QString::fromUtf8(Version::kShortVersion)));
    m_btnOK->setDefault(true);
    // The links follow OK in the tab order; the box opens with OK focused all the same.
    m_btnOK->setFocus();
    connect(m_btnOK, &QPushButton::clicked, this, &QDialog::accept, Qt::UniqueConnection);
}

void CAboutDlg::OnHomeLink()
{
    QDesktopServices::openUrl(QUrl(HomePageUrl()));
}

void CAboutDlg::OnMailLink()
{
    QDesktopServices::openUrl(QUrl(MailUrl()));
}
