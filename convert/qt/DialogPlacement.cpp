#include "convert/qt/DialogPlacement.h"

#include <QWidget>

namespace quorlin {

QPoint CentredTopLeft(const QRect& owner, const QSize& size) {
    const QPoint ownerCentre(owner.left() + owner.width() / 2, owner.top() + owner.height() / 2);
    return ownerCentre - QPoint(size.width() / 2, size.height() / 2);
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
