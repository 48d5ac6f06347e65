#include "controls/AboutDlg.h"

// The form's members are named like the ids of res/resource.h, whose macros would rewrite
// them: this file goes by object names and does not include resource.h.
#include "ui_AboutDlg.h"

#include "controls/LinkLabel.h"
#include "res/Version.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace
{

const QColor kLinkColor(0, 0, 255);

template <typename Widget> Widget* Item(QDialog* dialog, const char* name)
{
    return dialog->findChild<Widget*>(QString::fromLatin1(name));
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    Ui::CAboutDlg form;
    form.setupUi(this);
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
    m_linkMail = Item<CLinkLabel>(this, "IDC_LINK_MAIL");
    m_linkHome = Item<CLinkLabel>(this, "IDC_LINK_HOME");
}

void CAboutDlg::OnInitDialog()
{
    DoDataExchange();
    // The box's own background, so that the links sit on it without a box of their own.
    const QColor face = palette().color(backgroundRole());
    if (m_linkHome != nullptr) {
        m_linkHome->SetBkColor(face);
        m_linkHome->SetLink(HomePageUrl(), kLinkColor);
        connect(m_linkHome, &CLinkLabel::clicked, this, &CAboutDlg::OnHomeLink);
    }
    if (m_linkMail != nullptr) {
        m_linkMail->SetBkColor(face);
        m_linkMail->SetLink(QString::fromUtf8(Version::kSupportMail), kLinkColor);
        connect(m_linkMail, &CLinkLabel::clicked, this, &CAboutDlg::OnMailLink);
    }

    // The box's font made bold, for the product line only: the lines keep one size.
    m_fontBold = font();
    m_fontBold.setWeight(QFont::Bold);
    if (auto* product = Item<QLabel>(this, "IDC_PRODUCT")) {
        product->setFont(m_fontBold);
    }
    if (auto* ok = Item<QPushButton>(this, "IDOK")) {
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept, Qt::UniqueConnection);
    }
}

void CAboutDlg::OnHomeLink()
{
    QDesktopServices::openUrl(QUrl(HomePageUrl()));
}

void CAboutDlg::OnMailLink()
{
    QDesktopServices::openUrl(QUrl(MailUrl()));
}
