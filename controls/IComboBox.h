#pragma once

#include "res/SkinLayout.h"

#include <QColor>
#include <QComboBox>

class QPainter;

// The server selector: an editable combo box whose frame and drop button are drawn flat over
// the style's own rendering, with a hot look while the mouse is over it, and which completes
// typed text from its list.
class CIComboBox : public QComboBox
{
    Q_OBJECT

public:
    enum Look { FLAT_NORMAL = 1, FLAT_HOT = 2, FLAT_PRESSED = 3 };

    explicit CIComboBox(QWidget* parent = nullptr);

    // Inserts an entry in case-insensitive alphabetical order, after entries that compare
    // equal, and returns its index. Keeps the list sorted for the completion.
    int AddString(const QString& text);

    // True when the mouse cursor lies inside the control's rectangle (the dropped list lies
    // outside it).
    virtual bool IsCursorInside() const;
    // Draws the frame and the drop button in one of the looks.
    virtual void DrawFlat(QPainter* pDC, int nLook);

    // The drop button's width: from the style's arrow area to the inner ring.
    int ThumbWidth() const { return m_cxThumb; }

    void showPopup() override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool OnKey(const QKeyEvent* event);
    // The control's rectangle in screen coordinates.
    QRect ScreenRect() const;
    void OnMouseOver(const QPointF& globalPos);
    void UpdateHover();
    void OnEditUpdate();
    void OnButtonReleased();
    void EndHover();
    void UpdateThumb();
    void ShowLook(int nLook);
    void Invalidate();

    int m_cxThumb; // the style's scroll bar width until the arrow's place is known
    bool m_bLButtonDown = false;
    bool m_bHotDrawn = false;
    bool m_bNoComplete = false;
    // The pointer came in (an enter or a move over the control) and has not left since.
    bool m_bPointerInside = false;
    QColor m_clrLight{255, 255, 255};
    QColor m_clrShadow{100, 100, 105};
    QColor m_clrArrow{100, 100, 105};
    QColor m_clrFace = SkinLayout::kFace;
    quint8 m_byGradRed = 202;
    quint8 m_byGradGreen = 202;
    quint8 m_byGradBlue = 202;

    // The look that the pointer or a focus change last put on the screen; 0 when the
    // next paint chooses by the cursor position.
    int m_nScreenLook = 0;
};
