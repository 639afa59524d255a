#include "ui/DialogPlacement.h"

#include <QWidget>

namespace quorlin {

QPoint CentredTopLeft(const QRect& owner, const QSize& window) {
    // QRect's right() and bottom() are the last pixel; the owner's edges
    // here are one past it, as a window rectangle has them.
    const int ownerRight = owner.x() + owner.width();
    const int ownerBottom = owner.y() + owner.height();
    const int centreX = (owner.x() + ownerRight) / 2;
    const int centreY = (owner.y() + ownerBottom) / 2;
    return QPoint(centreX - window.width() / 2, centreY - window.height() / 2);
}

void CentreOnParent(QWidget& dialog) {
    const QWidget* owner = dialog.parentWidget();
    if (!owner) return;
    owner = owner->window();
    // Before the window system has framed the dialog its frame is its size;
    // move() places the frame's corner either way.
    dialog.move(CentredTopLeft(owner->frameGeometry(), dialog.frameGeometry().size()));
}

}  // namespace quorlin
