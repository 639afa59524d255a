#include "ui/CoolMenuStyle.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionMenuItem>
#include <qdrawutil.h>

#include "ui/CoolMenuManager.h"
#include "ui/MenuItemRecord.h"

namespace quorlin {

namespace {

constexpr int kRowMargin = 1;          // above and below the taller of text and box
constexpr int kEdgeWidth = 1;          // the raised and sunken edges of the box
constexpr int kEmbossOffset = 1;       // the light copy under an embossed picture or text
constexpr int kTextGap = 2;            // between the box and the text
constexpr int kMeasureSlack = 4;       // added to the measured width, as the drawing needs
constexpr int kMaskDarkness = 192;     // picture pixels darker than this form the embossed mask
constexpr int kMaskOpacity = 128;      // ... if at least this opaque
constexpr int kSeparatorMinWidth = 1;  // QMenu leaves out items with an empty size
constexpr int kMenuFrameWidth = 2;     // the raised frame: a light and a shadow line on each side
constexpr int kMenuMargin = 1;         // between the frame and the items

QColor MenuColour(const QPalette& pal) { return pal.color(QPalette::Window); }
QColor MenuTextColour(const QPalette& pal) { return pal.color(QPalette::Active, QPalette::WindowText); }
QColor GreyTextColour(const QPalette& pal) { return pal.color(QPalette::Disabled, QPalette::WindowText); }

// The dark parts of a picture in one colour: the mask an embossed picture is
// drawn with. Light fills stay out of it, so the outlines keep the shape.
QPixmap EmbossMask(const QPixmap& picture, const QColor& colour) {
    QImage source = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    QImage mask(source.size(), QImage::Format_ARGB32);
    mask.fill(Qt::transparent);
    const QRgb ink = colour.rgb();
    for (int y = 0; y < source.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        QRgb* out = reinterpret_cast<QRgb*>(mask.scanLine(y));
        for (int x = 0; x < source.width(); ++x)
            if (qAlpha(in[x]) >= kMaskOpacity && qGray(in[x]) < kMaskDarkness) out[x] = ink;
    }
    QPixmap result = QPixmap::fromImage(mask);
    result.setDevicePixelRatio(picture.devicePixelRatio());
    return result;
}

QRect CentredIn(const QRect& outer, const QSize& size) {
    return QRect(outer.left() + (outer.width() - size.width()) / 2, outer.top() + (outer.height() - size.height()) / 2,
                 size.width(), size.height());
}

}  // namespace

QAction* ActionAtRect(const QMenu* menu, const QRect& rect) {
    if (!menu) return nullptr;
    for (QAction* action : menu->actions())
        if (menu->actionGeometry(action) == rect) return action;
    return nullptr;
}

CCoolMenuStyle::CCoolMenuStyle(const CCoolMenuManager& manager, QStyle* base)
    : QProxyStyle(base), m_manager(manager) {}

int CCoolMenuStyle::MenuBarHeight(const QFontMetrics& metrics) const {
    return std::max(metrics.height(), m_manager.BoxSize().height()) + 2 * kRowMargin;
}

int CCoolMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
    if (qobject_cast<const QMenu*>(widget)) {
        switch (metric) {
        case PM_MenuPanelWidth: return kMenuFrameWidth;
        case PM_MenuHMargin:
        case PM_MenuVMargin: return kMenuMargin;
        default: break;
        }
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

QSize CCoolMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
                                       const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (type != CT_MenuItem || !item || item->menuItemType == QStyleOptionMenuItem::SubMenu)
        return QProxyStyle::sizeFromContents(type, option, contents, widget);
    const QFontMetrics metrics(item->font);
    if (item->menuItemType == QStyleOptionMenuItem::Separator)
        return QSize(kSeparatorMinWidth, MenuBarHeight(metrics) / 2);
    // The menu adds the widest shortcut to every row itself; the text before
    // the tab gets the box on each side, the gap to the box and some slack.
    const QString text = item->text.section(QLatin1Char('\t'), 0, 0);
    const int textWidth = metrics.boundingRect(QRect(), Qt::TextSingleLine | Qt::TextShowMnemonic, text).width();
    const int boxWidth = m_manager.BoxSize().width();
    const bool hasShortcut = item->text.contains(QLatin1Char('\t'));
    const int width = textWidth + 2 * boxWidth + kMeasureSlack + (hasShortcut ? boxWidth : 0);
    return QSize(width, std::max(metrics.height(), MenuBarHeight(metrics)));
}

void CCoolMenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                   const QWidget* widget) const {
    if (element == PE_PanelMenu && qobject_cast<const QMenu*>(widget)) {
        // The menu colour behind every item.
        painter->fillRect(option->rect, MenuColour(option->palette));
        return;
    }
    if (element == PE_FrameMenu && qobject_cast<const QMenu*>(widget)) {
        // A raised frame, so the popup stands out from a window of the same colour.
        qDrawWinPanel(painter, option->rect, option->palette, false);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void CCoolMenuStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const {
    if (element == CE_MenuEmptyArea && qobject_cast<const QMenu*>(widget)) {
        painter->fillRect(option->rect, MenuColour(option->palette));
        return;
    }
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element == CE_MenuItem && item) {
        CMenuItemRecord storage;
        const CMenuItemRecord* record =
            MenuItemRecordOf(ActionAtRect(qobject_cast<const QMenu*>(widget), item->rect), &storage);
        if (record && item->menuItemType != QStyleOptionMenuItem::SubMenu) {
            painter->save();
            DrawItem(*item, *record, painter);
            painter->restore();
            return;
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void CCoolMenuStyle::DrawItem(const QStyleOptionMenuItem& item, const CMenuItemRecord& record,
                              QPainter* painter) const {
    const QPalette& pal = item.palette;
    const QRect& r = item.rect;
    painter->fillRect(r, MenuColour(pal));
    if (record.separator || item.menuItemType == QStyleOptionMenuItem::Separator) {
        // An etched line along the middle.
        const int y = r.top() + r.height() / 2;
        painter->setPen(pal.color(QPalette::Dark));
        painter->drawLine(r.left(), y - 1, r.right(), y - 1);
        painter->setPen(pal.color(QPalette::Light));
        painter->drawLine(r.left(), y, r.right(), y);
        return;
    }
    const QRect box = CentredIn(QRect(r.left(), r.top(), m_manager.BoxSize().width(), r.height()), m_manager.BoxSize());
    bool drewInBox = false;
    if (record.pictureIndex >= 0 && !m_manager.PictureAt(record.pictureIndex).isNull()) {
        DrawPicture(item, box, record.pictureIndex, painter);
        drewInBox = true;
    } else {
        drewInBox = DrawCheck(item, box, painter);
    }
    if (item.state & QStyle::State_Selected) {
        const int left = drewInBox ? box.right() + 2 : r.left();
        painter->fillRect(QRect(QPoint(left, r.top()), r.bottomRight()), pal.color(QPalette::Highlight));
    }
    DrawText(item, r, painter);
}

void CCoolMenuStyle::DrawPicture(const QStyleOptionMenuItem& item, const QRect& box, int pictureIndex,
                                 QPainter* painter) const {
    const QPalette& pal = item.palette;
    const QIcon icon = m_manager.PictureAt(pictureIndex);
    const QSize size = m_manager.PictureSize();
    const QRect place = CentredIn(box, size);
    const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const bool enabled = item.state & QStyle::State_Enabled;
    if (!enabled) {
        if (m_manager.DisabledByStateDrawing()) {
            painter->drawPixmap(place.topLeft(), icon.pixmap(size, scale, QIcon::Disabled));
        } else {
            const QPixmap picture = icon.pixmap(size, scale);
            painter->drawPixmap(place.topLeft() + QPoint(kEmbossOffset, kEmbossOffset),
                                EmbossMask(picture, pal.color(QPalette::Light)));
            painter->drawPixmap(place.topLeft(), EmbossMask(picture, pal.color(QPalette::Dark)));
        }
        return;
    }
    const bool checked = item.checkType != QStyleOptionMenuItem::NotCheckable && item.checked;
    const bool highlighted = item.state & QStyle::State_Selected;
    painter->fillRect(box, checked && !highlighted ? pal.color(QPalette::Midlight) : MenuColour(pal));
    if (highlighted || checked) qDrawShadePanel(painter, box, pal, checked, kEdgeWidth);
    painter->drawPixmap(place.topLeft(), icon.pixmap(size, scale));
}

bool CCoolMenuStyle::DrawCheck(const QStyleOptionMenuItem& item, const QRect& box, QPainter* painter) const {
    if (item.checkType == QStyleOptionMenuItem::NotCheckable || !item.checked) return false;
    const QPalette& pal = item.palette;
    const bool highlighted = item.state & QStyle::State_Selected;
    // The mark fills the picture's place less its edge; the sunken edge goes
    // around it, grown by one unit.
    const QRect edge = CentredIn(box, m_manager.PictureSize());
    const QRect mark = edge.adjusted(kEdgeWidth + 1, kEdgeWidth + 1, -kEdgeWidth - 1, -kEdgeWidth - 1);
    painter->fillRect(edge, highlighted ? MenuColour(pal) : pal.color(QPalette::Midlight));
    qDrawShadePanel(painter, edge, pal, true, kEdgeWidth);
    const QColor ink = (item.state & QStyle::State_Enabled) ? MenuTextColour(pal) : GreyTextColour(pal);
    painter->setRenderHint(QPainter::Antialiasing);
    if (item.checkType == QStyleOptionMenuItem::Exclusive) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(ink);
        const qreal radius = mark.width() / 4.0;
        painter->drawEllipse(QRectF(mark).center(), radius, radius);
    } else {
        const QRectF m(mark);
        QPainterPath tick;
        tick.moveTo(m.left() + m.width() * 0.15, m.top() + m.height() * 0.5);
        tick.lineTo(m.left() + m.width() * 0.4, m.top() + m.height() * 0.78);
        tick.lineTo(m.left() + m.width() * 0.85, m.top() + m.height() * 0.2);
        painter->setPen(QPen(ink, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(tick);
    }
    painter->setRenderHint(QPainter::Antialiasing, false);
    return true;
}

void CCoolMenuStyle::DrawText(const QStyleOptionMenuItem& item, const QRect& r, QPainter* painter) const {
    const QPalette& pal = item.palette;
    const int boxWidth = m_manager.BoxSize().width();
    const QRect textRect(QPoint(r.left() + boxWidth + kTextGap, r.top()), QPoint(r.right() - boxWidth, r.bottom()));
    const bool enabled = item.state & QStyle::State_Enabled;
    const bool highlighted = item.state & QStyle::State_Selected;
    const QColor colour = !enabled ? GreyTextColour(pal)
                          : highlighted ? pal.color(QPalette::HighlightedText)
                                        : MenuTextColour(pal);
    const QString left = item.text.section(QLatin1Char('\t'), 0, 0);
    const int tab = int(item.text.indexOf(QLatin1Char('\t')));
    const QString right = tab >= 0 ? item.text.mid(tab + 1) : QString();
    constexpr int kLine = Qt::TextSingleLine | Qt::AlignVCenter;
    auto draw = [&](const QRect& rect, const QColor& ink) {
        painter->setPen(ink);
        painter->drawText(rect, kLine | Qt::AlignLeft | Qt::TextShowMnemonic, left);
        if (!right.isEmpty()) painter->drawText(rect, kLine | Qt::AlignRight, right);
    };
    painter->setFont(item.font);
    const QColor background = highlighted ? pal.color(QPalette::Highlight) : MenuColour(pal);
    if (!enabled && (colour != background || !highlighted))
        draw(textRect.translated(kEmbossOffset, kEmbossOffset), pal.color(QPalette::Light));
    draw(textRect, colour);
}

}  // namespace quorlin
