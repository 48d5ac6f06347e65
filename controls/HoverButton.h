#pragma once

#include <QCursor>
#include <QPixmap>
#include <QPushButton>

// A push button painted entirely from a strip of three faces of equal size (normal, pressed,
// hot, left to right). It shows the hot face while the mouse is over it and the pressed face
// while it is held down; the click is QPushButton's ordinary clicked() signal. Focus that the
// keyboard brings is outlined one pixel wide; Enter and Space press it.
class CHoverButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CHoverButton(QWidget* parent = nullptr);

    // Takes the strip of bitmap resource nIDBitmap (low 16 bits) and sizes the button to one
    // face, keeping its position. Returns true in every case; an id without a bitmap leaves
    // the button without faces (0 x 0, nothing drawn) and its size as it was.
    bool LoadFaces(unsigned nIDBitmap);
    // The same with a strip at hand; a null image leaves the button without faces.
    bool LoadFaces(const QImage& strip);
    QSize FaceSize() const { return {m_cxFace, m_cyFace}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int FaceColumn() const;
    static QColor FocusColour(const QImage& face);
    void EndHover();

    bool m_bHot = false;
    bool m_bFocusCue = false;
    int m_cxFace = 0;
    int m_cyFace = 0;
    QPixmap m_bmpFaces;
    QColor m_clrFocus;
    QCursor m_hCursorHand;
    QCursor m_hCursorPressed;
};
