#include "app/window/ClockQuestionDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ClockQuestionDlg::ClockQuestionDlg(QWidget* window, const QString& text, const QString& yes,
                                   const QString& no)
    : QDialog(window), m_labelQuestion(new QLabel(text, this)),
      m_btnYes(new QPushButton(yes, this)), m_btnNo(new QPushButton(no, this))
{
    // The window's palette and font, as its controls have them.
    setAttribute(Qt::WA_WindowPropagation);
    setWindowTitle(window != nullptr ? window->windowTitle() : QString());
    m_labelQuestion->setObjectName(QStringLiteral("labelQuestion"));
    m_labelQuestion->setWordWrap(true);
    m_btnYes->setObjectName(QStringLiteral("btnYes"));
    m_btnNo->setObjectName(QStringLiteral("btnNo"));
    m_btnYes->setAutoDefault(false);
    m_btnNo->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_btnYes);
    buttons->addWidget(m_btnNo);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_labelQuestion);
    layout->addLayout(buttons);
    connect(m_btnYes, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_btnNo, &QPushButton::clicked, this, &QDialog::reject);
    m_btnNo->setFocus(Qt::OtherFocusReason);
}

void ClockQuestionDlg::Ask(QWidget* window, const QString& text, const QString& yes,
                           const QString& no, std::function<void(bool yes)> answer)
{
    auto* box = new ClockQuestionDlg(window, text, yes, no);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QDialog::finished, box,
            [answer = std::move(answer)](int result) { answer(result == QDialog::Accepted); });
    box->open();
}
