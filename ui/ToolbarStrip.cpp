#include "ui/ToolbarStrip.h"

namespace quorlin {

QIcon ToolbarStrip::Picture(int index) const {
    const int width = pictureSize.width();
    if (index < 0 || width <= 0 || pictures.isNull()) return {};
    const qreal scale = pictures.devicePixelRatio();
    const QRect source(int(index * width * scale), 0, int(width * scale), int(pictureSize.height() * scale));
    if (source.right() >= pictures.width()) return {};
    QPixmap one = pictures.copy(source);
    one.setDevicePixelRatio(scale);
    return QIcon(one);
}

QIcon ToolbarStrip::PictureFor(int commandId) const {
    int index = 0;
    for (int id : commandIds) {
        if (id == 0) continue;
        if (id == commandId) return Picture(index);
        ++index;
    }
    return {};
}

std::optional<ToolbarStrip> LoadToolbarStrip(int /*toolbarId*/) {
    return std::nullopt;  // the picture strips are not drawn yet
}

}  // namespace quorlin
