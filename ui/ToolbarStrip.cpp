#include "ui/ToolbarStrip.h"

#include <algorithm>

#include "res/toolbar/ToolbarLayouts.h"

namespace quorlin {

namespace {

constexpr qreal kSharpScale = 2.0;

// One picture cut out of a strip whose device pixel ratio says its scale.
QPixmap Cut(const QPixmap& strip, QSize pictureSize, int index) {
    if (strip.isNull()) return {};
    const qreal scale = strip.devicePixelRatio();
    const QRect source(qRound(index * pictureSize.width() * scale), 0, qRound(pictureSize.width() * scale),
                       qRound(pictureSize.height() * scale));
    if (source.right() >= strip.width() || source.bottom() >= strip.height()) return {};
    QPixmap one = strip.copy(source);
    one.setDevicePixelRatio(scale);
    return one;
}

QString StripPath(int toolbarId, const char* suffix) {
    return QStringLiteral(":/toolbar/toolbar%1%2.png").arg(toolbarId).arg(QLatin1String(suffix));
}

}  // namespace

int ToolbarStrip::PictureCount() const {
    return int(std::count_if(commandIds.begin(), commandIds.end(), [](int id) { return id != 0; }));
}

QIcon ToolbarStrip::Picture(int index) const {
    if (index < 0 || index >= PictureCount() || pictureSize.isEmpty()) return {};
    const QPixmap normal = Cut(pictures, pictureSize, index);
    if (normal.isNull()) return {};
    QIcon icon(normal);
    const QPixmap sharp = Cut(pictures2x, pictureSize, index);
    if (!sharp.isNull()) icon.addPixmap(sharp);
    return icon;
}

QIcon ToolbarStrip::PictureFor(int commandId) const {
    if (commandId == 0) return {};
    int index = 0;
    for (int id : commandIds) {
        if (id == 0) continue;
        if (id == commandId) return Picture(index);
        ++index;
    }
    return {};
}

std::optional<ToolbarStrip> LoadToolbarStrip(int toolbarId) {
    const auto layout = toolbar::Layout(toolbarId);
    if (layout.empty()) return std::nullopt;
    ToolbarStrip strip;
    strip.pictureSize = QSize(toolbar::kPictureWidth, toolbar::kPictureHeight);
    strip.commandIds.assign(layout.begin(), layout.end());
    if (!strip.pictures.load(StripPath(toolbarId, ""))) return std::nullopt;
    // A strip that does not hold exactly one picture per button would hand
    // commands their neighbours' pictures.
    const QSize expected(strip.PictureCount() * strip.pictureSize.width(), strip.pictureSize.height());
    if (strip.pictures.size() != expected) return std::nullopt;
    if (strip.pictures2x.load(StripPath(toolbarId, "@2x"))) {
        if (strip.pictures2x.size() == expected * kSharpScale)
            strip.pictures2x.setDevicePixelRatio(kSharpScale);
        else
            strip.pictures2x = QPixmap();
    }
    return strip;
}

}  // namespace quorlin
