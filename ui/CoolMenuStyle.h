#pragma once
// The style of a converted popup: measures and draws its recorded items with
// their toolbar pictures, and leaves everything else to the style it wraps
// (the application's). Colours come from the popup's palette:
//   menu            QPalette::Window        menu text     QPalette::WindowText
//   highlight       QPalette::Highlight     its text      QPalette::HighlightedText
//   grey text       disabled WindowText     3-D light     QPalette::Midlight
//   button light    QPalette::Light         button shadow QPalette::Dark

#include <QProxyStyle>

class QAction;
class QMenu;
class QStyleOptionMenuItem;

namespace quorlin {

class CCoolMenuManager;
struct CMenuItemRecord;

class CCoolMenuStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Wraps base (taking it; nullptr for the platform's default style).
    CCoolMenuStyle(const CCoolMenuManager& manager, QStyle* base);

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
                           const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;

    // The height of one menu row: the taller of the text and the picture
    // box, with a unit above and below.
    int MenuBarHeight(const QFontMetrics& metrics) const;

private:
    void DrawItem(const QStyleOptionMenuItem& item, const CMenuItemRecord& record, QPainter* painter) const;
    void DrawPicture(const QStyleOptionMenuItem& item, const QRect& box, int pictureIndex, QPainter* painter) const;
    // Draws a check mark in the box; true when it drew one.
    bool DrawCheck(const QStyleOptionMenuItem& item, const QRect& box, QPainter* painter) const;
    void DrawText(const QStyleOptionMenuItem& item, const QRect& itemRect, QPainter* painter) const;

    const CCoolMenuManager& m_manager;
};

// The action of a popup whose item occupies the given rectangle.
QAction* ActionAtRect(const QMenu* menu, const QRect& rect);

}  // namespace quorlin
