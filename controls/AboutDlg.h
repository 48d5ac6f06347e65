#pragma once

#include <QDialog>
#include <QFont>
#include <QRect>
#include <QString>

#include <utility>
#include <vector>

class CLinkLabel;
class QLabel;
class QPushButton;

// The modal About box: icon, product line in bold, the years line and two links, one to the
// home page and one that starts a mail to support. The links leave the box open; "OK", Escape
// and the close box end it.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // What the two links open.
    static QString HomePageUrl();
    static QString MailUrl();

    // Lays the box out for its font: the form's geometry, drawn for a font with base units of
    // 7 x 13 pixels, scaled to the font's own base units, then every text widened to fit it, the
    // links moved clear of their labels and the box grown around them. Run when the box is made
    // and whenever its font changes; at 96 dpi the form's geometry stays as it is.
    void LayOut();

protected:
    void OnHomeLink();
    void OnMailLink();

protected:
    void changeEvent(QEvent* event) override;

private:
    void DoDataExchange();
    void OnInitDialog();

    CLinkLabel* m_linkMail = nullptr;
    CLinkLabel* m_linkHome = nullptr;
    QLabel* m_labelProduct = nullptr;
    QPushButton* m_btnOK = nullptr;
    QLabel* m_labelHome = nullptr;
    QLabel* m_labelMail = nullptr;
    QWidget* m_lineEtched = nullptr;
    QFont m_fontBold;
    // Each control's rectangle in the form, and the form's size.
    std::vector<std::pair<QWidget*, QRect>> m_formGeometry;
    QSize m_formSize;
};
