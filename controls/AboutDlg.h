#pragma once

#include <QDialog>
#include <QFont>
#include <QString>

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

protected:
    void OnHomeLink();
    void OnMailLink();

private:
    void DoDataExchange();
    void OnInitDialog();

    CLinkLabel* m_linkMail = nullptr;
    CLinkLabel* m_linkHome = nullptr;
    QLabel* m_labelProduct = nullptr;
    QPushButton* m_btnOK = nullptr;
    QFont m_fontBold;
};
