#include "controls/IComboBox.h"

#include "controls/FrameDrawing.h"

#include <QAbstractItemView>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionComboBox>

using FrameDrawing::Draw3dRect;
using FrameDrawing::FillSolidRect;

// How the looks reach the screen: the pointer's comings and goings and the focus changes "draw
// straight onto the screen", which a Qt widget can do only inside its paint event. They therefore
// record the look in m_nScreenLook and schedule a paint, which draws it; the look stays on the
// screen, through any repaint Qt itself asks for, until something that really invalidates the
// control (the release of the left button, a resize, hiding it, enabling or disabling it) clears
// it; the paint after that chooses hot or normal by the cursor position, as a fresh paint does.

namespace
{

constexpr int kGradientRows = 15;
constexpr int kArrowWidth = 8;
constexpr int kArrowRows = 4;

QRect Shrunk(const QRect& rect)
{
    return rect.adjusted(1, 1, -1, -1);
}

bool IsSwallowedKey(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return true;
    default:
        return false;
    }
}

bool IsDeletingKey(int key)
{
    return key == Qt::Key_Delete || key == Qt::Key_Backspace;
}

} // namespace

CIComboBox::CIComboBox(QWidget* parent)
    : QComboBox(parent), m_cxThumb(style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this))
{
    setEditable(true);
    // Only our completion runs: no QCompleter. Enter never reaches the edit field (see OnKey),
    // so it adds nothing to the list whatever the insert policy.
    setCompleter(nullptr);
    setAttribute(Qt::WA_OpaquePaintEvent);
    UpdateThumb();

    // Mouse moves over the edit field count as over the control.
    setMouseTracking(true);
    lineEdit()->setMouseTracking(true);
    lineEdit()->installEventFilter(this);
    connect(lineEdit(), &QLineEdit::textEdited, this, &CIComboBox::OnEditUpdate);
}

int CIComboBox::AddString(const QString& text)
{
    int index = 0;
    while (index < count() && QString::compare(itemText(index), text, Qt::CaseInsensitive) <= 0) {
        ++index;
    }
    insertItem(index, text);
    return index;
}

// The flat button covers the style's whole arrow area, so that none of the style's own button
// shows beside it: it spans from the arrow's left edge to the inner ring's right side.
void CIComboBox::UpdateThumb()
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect arrow =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
    if (!arrow.isValid()) {
        return;
    }
    m_cxThumb = width() - 3 - arrow.left();
}

bool CIComboBox::IsCursorInside() const
{
    // A hidden control, or one in a minimized window, lies under no cursor. Where the window system
    // reports the cursor only with its events (Wayland), QCursor::pos() keeps the last one: after
    // the pointer has left, it is not believed.
    if (!m_bPointerInside || !isVisible() || window()->isMinimized()) {
        return false;
    }
    return ScreenRect().contains(QCursor::pos());
}

QRect CIComboBox::ScreenRect() const
{
    return {mapToGlobal(QPoint(0, 0)), size()};
}

// The pointer left, the window lost the activation or the control was hidden: the hover look
// ends now. A held button keeps its look until the release.
void CIComboBox::EndHover()
{
    m_bPointerInside = false;
    if (m_bLButtonDown) {
        return;
    }
    m_bHotDrawn = false;
    Invalidate();
}

void CIComboBox::DrawFlat(QPainter* pDC, int nLook)
{
    QRect rect = this->rect();
    Draw3dRect(pDC, rect, m_clrShadow, m_clrLight);
    rect = Shrunk(rect);
    Draw3dRect(pDC, rect, m_clrFace, m_clrFace);

    const int buttonLeft = rect.x() + rect.width() - m_cxThumb - 2;
    QRect button(buttonLeft, rect.y(), m_cxThumb + 2, rect.height());
    if (!isEnabled()) {
        button = Shrunk(button);
        FillSolidRect(pDC, button.x(), button.y(), button.width(), button.height(), m_clrFace);
        return;
    }
    if (nLook == FLAT_PRESSED) {
        Draw3dRect(pDC, button, m_clrShadow, m_clrLight);
        button = Shrunk(button);
        Draw3dRect(pDC, button, m_clrFace, m_clrFace);
    } else {
        Draw3dRect(pDC, button, m_clrShadow, m_clrShadow);
        button = Shrunk(button);
        Draw3dRect(pDC, button, m_clrLight, m_clrLight);
    }
    button = Shrunk(button);

    // Always 15 rows, whatever the height: they fill the button exactly at 21 pixels.
    for (int i = 0; i < kGradientRows; ++i) {
        const QColor row(static_cast<quint8>(m_byGradRed - 3 * i),
                         static_cast<quint8>(m_byGradGreen - 3 * i),
                         static_cast<quint8>(m_byGradBlue - 3 * i));
        FillSolidRect(pDC, button.x(), button.y() + i, m_cxThumb - 2, 1, row);
    }

    const int x0 = button.x() + (button.width() - kArrowWidth) / 2;
    const int y0 = button.y() + (button.height() - kArrowRows) / 2;
    const int offset = nLook == FLAT_PRESSED ? 1 : 0;
    const QColor& arrow = nLook == FLAT_NORMAL ? m_clrArrow : m_clrLight;
    for (int k = 0; k < kArrowRows; ++k) {
        FillSolidRect(pDC, x0 + k + offset, y0 + k + offset, kArrowWidth - 2 * k, 1, arrow);
    }
}

void CIComboBox::paintEvent(QPaintEvent*)
{
    // Compose background, the style's combo box and the flat frame off screen, then copy once.
    QPixmap buffer(size() * devicePixelRatio());
    buffer.setDevicePixelRatio(devicePixelRatio());
    buffer.fill(m_clrFace);
    {
        QPainter memory(&buffer);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        // The control's own face behind what the style draws around the edit field (Windows
        // fills it with the button colour): no theme colour shows beside the flat button.
        option.palette.setColor(QPalette::Button, m_clrFace);
        option.palette.setColor(QPalette::Window, m_clrFace);
        style()->drawComplexControl(QStyle::CC_ComboBox, &option, &memory, this);
        int look = m_nScreenLook;
        if (look == 0) {
            look = IsCursorInside() ? FLAT_HOT : FLAT_NORMAL;
        }
        DrawFlat(&memory, look);
    }
    QPainter screen(this);
    screen.drawPixmap(0, 0, buffer);
}

void CIComboBox::ShowLook(int nLook)
{
    m_nScreenLook = nLook;
    update();
}

void CIComboBox::Invalidate()
{
    m_nScreenLook = 0;
    update();
}

bool CIComboBox::OnKey(const QKeyEvent* event)
{
    const int key = event->key();
    if (IsDeletingKey(key)) {
        // X11 repeats a held key as release/press pairs; only the real release ends the hold.
        if (event->type() == QEvent::KeyPress) {
            m_bNoComplete = true;
        } else if (!event->isAutoRepeat()) {
            m_bNoComplete = false;
        }
        return false;
    }
    // Enter stays in the edit field: it presses no default button. Tab, Shift+Tab and Escape go
    // on as anywhere else in the window, so the keyboard is never held here.
    return event->type() == QEvent::KeyPress && IsSwallowedKey(key);
}

// Keys reach the combo box itself: it is its edit field's focus proxy and hands them on.
bool CIComboBox::event(QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::WindowDeactivate) {
        EndHover();
    }
    // Key events arrive accepted, as they were made (QApplication hands each receiver the event
    // as it was sent): returning true keeps one here.
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) &&
        OnKey(static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QComboBox::event(event);
}

bool CIComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lineEdit()) {
        // An enter into the field is one into the control too, which sees that itself.
        if (event->type() == QEvent::MouseMove) {
            OnMouseOver(static_cast<QMouseEvent*>(event)->globalPosition());
        }
    } else if (event->type() == QEvent::Hide && view() != nullptr && watched == view()->window()) {
        // The release of a press that dropped the list goes to the list; its closing stands in.
        OnButtonReleased();
    }
    return QComboBox::eventFilter(watched, event);
}

void CIComboBox::OnMouseOver(const QPointF& globalPos)
{
    if (!ScreenRect().contains(globalPos.toPoint())) {
        return;
    }
    m_bPointerInside = true;
    UpdateHover();
}

void CIComboBox::mouseMoveEvent(QMouseEvent* event)
{
    OnMouseOver(event->globalPosition());
    QComboBox::mouseMoveEvent(event);
}

// QComboBox has no enter or leave handling of its own, and QWidget's does nothing.
void CIComboBox::enterEvent(QEnterEvent* event)
{
    OnMouseOver(event->globalPosition());
}

void CIComboBox::leaveEvent(QEvent*)
{
    EndHover();
}

// Hidden or minimized, the control may never see the release of a press: the press ends here.
void CIComboBox::hideEvent(QHideEvent* event)
{
    m_bLButtonDown = false;
    EndHover();
    QComboBox::hideEvent(event);
}

void CIComboBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_bLButtonDown = true;
    }
    QComboBox::mousePressEvent(event);
    UpdateHover();
}

void CIComboBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        OnButtonReleased();
    }
    QComboBox::mouseReleaseEvent(event);
}

void CIComboBox::OnButtonReleased()
{
    if (!m_bLButtonDown) {
        return;
    }
    m_bLButtonDown = false;
    Invalidate();
}

void CIComboBox::showPopup()
{
    QComboBox::showPopup();
    if (view() != nullptr) {
        view()->window()->installEventFilter(this);
    }
}

// The look follows the pointer's events, never a poll: a pointer resting on the control costs
// nothing.
void CIComboBox::UpdateHover()
{
    if (m_bLButtonDown) {
        if (m_bHotDrawn) {
            ShowLook(FLAT_PRESSED);
            m_bHotDrawn = false;
        }
        return;
    }
    if (IsCursorInside()) {
        if (!m_bHotDrawn) {
            m_bHotDrawn = true;
            ShowLook(FLAT_HOT);
        }
        return;
    }
    if (m_bHotDrawn) {
        ShowLook(FLAT_NORMAL);
        m_bHotDrawn = false;
    }
}

void CIComboBox::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    ShowLook(FLAT_HOT);
}

void CIComboBox::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    ShowLook(FLAT_NORMAL);
    // A Delete or Backspace released after the focus left never reaches us.
    m_bNoComplete = false;
}

void CIComboBox::resizeEvent(QResizeEvent* event)
{
    QComboBox::resizeEvent(event);
    UpdateThumb();
    Invalidate();
}

void CIComboBox::changeEvent(QEvent* event)
{
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::StyleChange) {
        UpdateThumb();
    }
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::StyleChange) {
        Invalidate();
    }
}

void CIComboBox::OnEditUpdate()
{
    if (m_bNoComplete) {
        return;
    }
    QLineEdit* edit = lineEdit();
    const QString typed = edit->text();
    const int length = static_cast<int>(typed.size());
    if (length == 0) {
        return;
    }
    const bool hasSelection = edit->hasSelectedText();
    const int selStart = hasSelection ? edit->selectionStart() : edit->cursorPosition();
    const int selEnd = hasSelection ? edit->selectionEnd() : edit->cursorPosition();

    // The first entry that begins with the typed text, ignoring case; none leaves it as typed.
    const int match = findText(typed, Qt::MatchStartsWith);
    if (match >= 0) {
        setCurrentIndex(match); // the edit field's text too; the list marks it when dropped
    }

    // Typing inside the text keeps the caret or selection; at the end the remainder is selected.
    if (selEnd < length) {
        edit->setSelection(selStart, selEnd - selStart); // no length: the caret alone
        return;
    }
    const int total = static_cast<int>(edit->text().size());
    if (total > length) {
        edit->setSelection(length, total - length);
    } else {
        edit->setCursorPosition(length);
    }
}
