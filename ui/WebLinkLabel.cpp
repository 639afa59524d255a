#include "ui/WebLinkLabel.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QUrl>

namespace quorlin {

CWebLinkLabel::CWebLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    // A link is a control: it takes the focus by Tab and by click.
    setFocusPolicy(Qt::StrongFocus);
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(false);
    setAccessibleName(text);
    ApplyColour();
}

void CWebLinkLabel::SetToolTipOn(bool on) {
    m_bToolTipOn = on;
    setToolTip(on ? m_strToolTip : QString());
}

void CWebLinkLabel::SetToolTipText(const QString& text) {
    if (!m_bToolTipOn) return;
    m_strToolTip = text;
    setToolTip(text);
    setAccessibleDescription(text);
}

QColor CWebLinkLabel::TextColour() const {
    if (m_bVisited) return kVisitedColour;
    return m_bHovering ? kHoverColour : kLinkColour;
}

void CWebLinkLabel::ApplyColour() {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, TextColour());
    setPalette(pal);
    update();
}

void CWebLinkLabel::SetHovering(bool hovering) {
    if (hovering == m_bHovering) return;
    m_bHovering = hovering;
    ApplyColour();
}

void CWebLinkLabel::enterEvent(QEnterEvent* event) {
    SetHovering(true);
    QLabel::enterEvent(event);
}

void CWebLinkLabel::leaveEvent(QEvent* event) {
    SetHovering(false);
    QLabel::leaveEvent(event);
}

void CWebLinkLabel::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    SetHovering(rect().contains(event->position().toPoint()));
}

void CWebLinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_bPressed = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void CWebLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = m_bPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_bPressed = false;
    if (click) {
        event->accept();
        Open();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void CWebLinkLabel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        event->accept();
        Open();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

void CWebLinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    // The label shows that Enter or Space would open it.
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = contentsRect();
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

void CWebLinkLabel::Open() {
    // The opener's verdict is not shown: a desktop without a browser has
    // nothing the person could do about it here, and the label is still
    // marked as visited.
    if (!m_strAddress.isEmpty()) QDesktopServices::openUrl(QUrl(m_strAddress));
    m_bVisited = true;
    ApplyColour();
    emit Opened(m_strAddress);
}

}  // namespace quorlin
