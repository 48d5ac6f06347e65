#pragma once

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QLabel>

// One line of text shown as a hyperlink: bold, underlined Tahoma in the owner's colour on a
// solid background, drawn from the top-left corner and clipped, never wrapped. It does not act
// on a click itself; it emits clicked() and the owner acts. The keyboard reaches it by Tab and
// opens it with Enter or Space; a dotted frame marks that focus.
class CLinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit CLinkLabel(QWidget* parent = nullptr);

    // The background colour; redraws even when the colour is unchanged.
    void SetBkColor(const QColor& color);
    // The text (also the label's text) and its colour.
    void SetLink(const QString& text, const QColor& color);

    QColor TextColor() const { return m_crText; }
    QColor BkColor() const { return m_crBack; }
    // The font the link is drawn in (created on the first paint).
    QFont LinkFont();

signals:
    // The left button went down on the link, as a notifying static control reports a click.
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // Enter and Space open the link as a click does.
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void CreateLinkFont();
    void Redraw();
    // The hand applies only while there is a text; without one the parent's cursor shows.
    void ShowCursor(const QCursor& cursor);

    QColor m_crBack{255, 255, 255};
    QColor m_crText{0, 0, 0};
    QCursor m_hCursorHand;
    QCursor m_hCursorPressed;
    QString m_strText;
    bool m_bFontCreated = false;
    bool m_bFocusCue = false;
    QFont m_font;
};
