#include "controls/AboutDlg.h"

#include "ui_AboutDlg.h"

#include "controls/AccessibleControls.h"
#include "controls/LinkLabel.h"
#include "res/Version.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace
{

// The base units the form's pixel geometry was drawn for (DejaVu Sans 8 pt at 96 dpi).
constexpr double kFormBaseX = 7;
constexpr double kFormBaseY = 13;
// The gap between a label and its link, and the box's margin right of its widest line, in the
// form's pixels.
constexpr int kLinkGap = 5;
constexpr int kRightMargin = 12;

int Scaled(int pixels, double scale)
{
    return static_cast<int>(std::lround(pixels * scale));
}

// A label's own text in its own font (a link draws in its link font).
int TextWidth(QLabel* label)
{
    if (auto* link = qobject_cast<CLinkLabel*>(label)) {
        return QFontMetrics(link->LinkFont()).horizontalAdvance(link->text()) + 1;
    }
    return label->fontMetrics().horizontalAdvance(label->text()) + 1;
}

} // namespace

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
    m_labelHome = form.labelHome;
    m_labelMail = form.labelMail;
    m_lineEtched = form.lineEtched;
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        m_formGeometry.emplace_back(child, child->geometry());
    }
    m_formSize = size();
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
    LayOut();
}

void CAboutDlg::LayOut()
{
    const QFontMetrics metrics(font());
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = static_cast<int>(std::lround(metrics.horizontalAdvance(alphabet) / 52.0));
    const double sx = baseX / kFormBaseX;
    const double sy = metrics.height() / kFormBaseY;
    int right = 0;
    for (const auto& [child, form] : m_formGeometry) {
        // The icon keeps its own size, as the picture does.
        const bool keepsSize = child->objectName() == QLatin1String("iconAbout");
        QRect placed(Scaled(form.x(), sx), Scaled(form.y(), sy),
                     keepsSize ? form.width() : Scaled(form.width(), sx),
                     keepsSize ? form.height() : Scaled(form.height(), sy));
        if (auto* label = qobject_cast<QLabel*>(child); label != nullptr && !keepsSize) {
            placed.setWidth(std::max(placed.width(), TextWidth(label)));
            placed.setHeight(std::max(placed.height(), label->fontMetrics().height()));
        }
        child->setGeometry(placed);
    }
    // The links in one column clear of the wider label.
    const int column =
        std::max({m_linkHome->x(), m_labelHome->geometry().right() + 1 + Scaled(kLinkGap, sx),
                  m_labelMail->geometry().right() + 1 + Scaled(kLinkGap, sx)});
    for (CLinkLabel* link : {m_linkHome, m_linkMail}) {
        link->move(column, link->y());
    }
    for (const auto& [child, form] : m_formGeometry) {
        if (child != m_lineEtched) {
            right = std::max(right, child->geometry().right() + 1);
        }
    }
    const int width = std::max(Scaled(m_formSize.width(), sx), right + Scaled(kRightMargin, sx));
    const int height = std::max(Scaled(m_formSize.height(), sy), m_btnOK->geometry().bottom() + 1);
    m_lineEtched->setGeometry(m_lineEtched->x(), m_lineEtched->y(), width - 2 * m_lineEtched->x(),
                              m_lineEtched->height());
    setFixedSize(width, height);
}

void CAboutDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::FontChange && !m_formGeometry.empty()) {
        LayOut();
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
