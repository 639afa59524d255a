// Draws the toolbar picture strips from ToolbarLayouts.h:
//   quorlin-draw-toolbars OUTPUT_FOLDER
// writes toolbar<ID>.png (16 by 16 pictures) and toolbar<ID>@2x.png (32 by
// 32) for every toolbar. The pictures are drawn as vectors on a 16-unit grid,
// with one-unit lines on half units so that they fall on whole pixels at both
// sizes. The PNG files are committed; run this again after changing a
// picture or a layout, and look at the result.

#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QtMath>
#include <cstdio>

#include "res/toolbar/ToolbarLayouts.h"

namespace {

using namespace quorlin;

// Colours chosen to read on a light and on a dark menu background alike:
// light fills carry the shape on dark menus, dark outlines on light ones.
const QColor kOutline(64, 64, 64);
const QColor kPaper(252, 252, 252);
const QColor kTextLine(110, 120, 135);
const QColor kFolder(242, 196, 70);
const QColor kFolderFront(250, 218, 120);
const QColor kFolderOutline(156, 112, 20);
const QColor kDiskBody(44, 98, 182);
const QColor kDiskOutline(24, 56, 112);
const QColor kMetal(200, 204, 212);
const QColor kSendArrow(40, 168, 64);
const QColor kSendArrowOutline(18, 100, 36);
const QColor kReceiveArrow(40, 126, 230);
const QColor kReceiveArrowOutline(20, 70, 150);
const QColor kGear(150, 158, 170);
const QColor kInfo(36, 110, 214);
const QColor kInfoOutline(20, 62, 140);
const QColor kUndoArrow(44, 132, 232);
const QColor kGlass(196, 228, 252);
const QColor kHandle(140, 92, 40);
const QColor kScissors(214, 48, 48);
const QColor kBlade(170, 174, 186);
const QColor kBoard(184, 132, 70);
const QColor kBoardOutline(116, 76, 30);

QPen Line(const QColor& colour, qreal width = 1.0) {
    return QPen(colour, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

// A sheet of paper with its top right corner folded over.
void DrawPage(QPainter& p, const QRectF& r, bool textLines) {
    constexpr qreal kFold = 3.5;
    QPolygonF sheet;
    sheet << r.topLeft() << QPointF(r.right() - kFold, r.top()) << QPointF(r.right(), r.top() + kFold)
          << r.bottomRight() << r.bottomLeft();
    p.setPen(Line(kOutline));
    p.setBrush(kPaper);
    p.drawPolygon(sheet);
    QPolygonF fold;
    fold << QPointF(r.right() - kFold, r.top()) << QPointF(r.right() - kFold, r.top() + kFold)
         << QPointF(r.right(), r.top() + kFold);
    p.setBrush(kMetal);
    p.drawPolygon(fold);
    if (!textLines) return;
    p.setPen(Line(kTextLine));
    for (qreal y = r.top() + kFold + 1.5; y < r.bottom() - 1; y += 2) {
        const qreal right = (int(y) % 4 == 1) ? r.right() - 3 : r.right() - 2;
        p.drawLine(QPointF(r.left() + 2, y), QPointF(right, y));
    }
}

void DrawFolder(QPainter& p, const QRectF& r) {
    const qreal tab = r.width() * 0.35;
    QPolygonF back;
    back << r.topLeft() << QPointF(r.left() + tab, r.top()) << QPointF(r.left() + tab + 1.5, r.top() + 1.5)
         << QPointF(r.right() - 1, r.top() + 1.5) << QPointF(r.right() - 1, r.bottom()) << r.bottomLeft();
    p.setPen(Line(kFolderOutline));
    p.setBrush(kFolder);
    p.drawPolygon(back);
    const qreal frontTop = r.top() + r.height() * 0.4;
    QPolygonF front;
    front << r.bottomLeft() << QPointF(r.left() + 2.5, frontTop) << QPointF(r.right() + 1, frontTop)
          << QPointF(r.right() - 1, r.bottom());
    p.setBrush(kFolderFront);
    p.drawPolygon(front);
}

// A block arrow along the x axis with its tip at tipX, centred on y.
void DrawArrow(QPainter& p, qreal tailX, qreal tipX, qreal y, qreal halfHead, const QColor& fill,
               const QColor& outline) {
    const qreal dir = tipX > tailX ? 1.0 : -1.0;
    const qreal headBase = tipX - dir * halfHead;
    const qreal halfShaft = halfHead * 0.45;
    QPolygonF arrow;
    arrow << QPointF(tailX, y - halfShaft) << QPointF(headBase, y - halfShaft) << QPointF(headBase, y - halfHead)
          << QPointF(tipX, y) << QPointF(headBase, y + halfHead) << QPointF(headBase, y + halfShaft)
          << QPointF(tailX, y + halfShaft);
    p.setPen(Line(outline));
    p.setBrush(fill);
    p.drawPolygon(arrow);
}

void DrawMagnifier(QPainter& p, QPointF centre, qreal radius) {
    const qreal reach = radius * 0.7071;
    p.setPen(QPen(kHandle, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(reach + 0.5, reach + 0.5), centre + QPointF(reach + 4.5, reach + 4.5));
    p.setPen(QPen(kOutline, 1.5));
    p.setBrush(kGlass);
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(Qt::white, 1.0, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(centre.x() - radius + 2, centre.y() - radius + 2, 2 * radius - 4, 2 * radius - 4), 100 * 16,
              60 * 16);
}

void DrawNew(QPainter& p) { DrawPage(p, QRectF(2.5, 1.5, 10, 13), false); }

void DrawOpen(QPainter& p) { DrawFolder(p, QRectF(1.5, 3.5, 13, 10)); }

void DrawSave(QPainter& p) {
    p.setPen(Line(kDiskOutline));
    p.setBrush(kDiskBody);
    QPolygonF body;
    body << QPointF(1.5, 1.5) << QPointF(12.5, 1.5) << QPointF(14.5, 3.5) << QPointF(14.5, 14.5)
         << QPointF(1.5, 14.5);
    p.drawPolygon(body);
    p.setBrush(kMetal);
    p.drawRect(QRectF(4.5, 1.5, 7, 4));
    p.fillRect(QRectF(9, 2, 1.5, 3), kDiskOutline);
    p.setBrush(kPaper);
    p.drawRect(QRectF(3.5, 8.5, 9, 6));
    p.setPen(Line(kTextLine));
    p.drawLine(QPointF(5, 10.5), QPointF(11, 10.5));
    p.drawLine(QPointF(5, 12.5), QPointF(11, 12.5));
}

void DrawCut(QPainter& p) {
    p.setPen(QPen(kBlade, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.5, 9.5), QPointF(11, 1.5));
    p.drawLine(QPointF(10.5, 9.5), QPointF(5, 1.5));
    p.setPen(QPen(kOutline, 0.8));
    p.setBrush(kOutline);
    p.drawEllipse(QPointF(8, 6.3), 0.8, 0.8);
    p.setPen(QPen(kScissors, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(4.3, 12), 2.4, 2.4);
    p.drawEllipse(QPointF(11.7, 12), 2.4, 2.4);
}

void DrawCopy(QPainter& p) {
    DrawPage(p, QRectF(1.5, 1.5, 8, 10), true);
    DrawPage(p, QRectF(6.5, 4.5, 8, 10), true);
}

void DrawPaste(QPainter& p) {
    p.setPen(Line(kBoardOutline));
    p.setBrush(kBoard);
    p.drawRoundedRect(QRectF(1.5, 2.5, 10, 12), 1, 1);
    p.setPen(Line(kOutline));
    p.setBrush(kMetal);
    p.drawRect(QRectF(4.5, 1.5, 4, 3));
    DrawPage(p, QRectF(6.5, 5.5, 8, 9), true);
}

void DrawSendFile(QPainter& p) {
    DrawFolder(p, QRectF(0.5, 2.5, 10, 8));
    DrawArrow(p, 6.5, 15.5, 11.5, 4, kSendArrow, kSendArrowOutline);
}

void DrawSendCurrentFile(QPainter& p) {
    DrawPage(p, QRectF(1.5, 0.5, 9, 12), true);
    DrawArrow(p, 6.5, 15.5, 11.5, 4, kSendArrow, kSendArrowOutline);
}

void DrawReceiveFile(QPainter& p) {
    DrawPage(p, QRectF(1.5, 0.5, 9, 12), true);
    DrawArrow(p, 15.5, 6.5, 11.5, 4, kReceiveArrow, kReceiveArrowOutline);
}

void DrawSettings(QPainter& p) {
    constexpr int kTeeth = 8;
    constexpr qreal kOuter = 7.0, kInner = 5.0, kHole = 2.2;
    const QPointF centre(8, 8);
    QPolygonF rim;
    for (int i = 0; i < kTeeth; ++i) {
        const qreal a = i * 360.0 / kTeeth;
        for (auto [da, r] : {std::pair{-17.0, kInner}, {-9.0, kOuter}, {9.0, kOuter}, {17.0, kInner}}) {
            const qreal rad = qDegreesToRadians(a + da);
            rim << centre + QPointF(r * qCos(rad), r * qSin(rad));
        }
    }
    QPainterPath gear;
    gear.addPolygon(rim);
    gear.closeSubpath();
    gear.addEllipse(centre, kHole, kHole);
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(kGear);
    p.drawPath(gear);
}

void DrawAbout(QPainter& p) {
    p.setPen(QPen(kInfoOutline, 1.0));
    p.setBrush(kInfo);
    p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 4.7), 1.2, 1.2);
    p.drawRoundedRect(QRectF(7, 6.8, 2, 6), 0.6, 0.6);
}

void DrawUndo(QPainter& p) {
    QPainterPath bend;
    bend.moveTo(12.5, 14);
    bend.cubicTo(15.5, 9, 12, 5.5, 6.5, 5.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kOutline, 3.4, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(bend);
    p.setPen(QPen(kUndoArrow, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(bend);
    QPolygonF head;
    head << QPointF(7, 1) << QPointF(1.5, 5.5) << QPointF(7, 10);
    p.setPen(Line(kOutline));
    p.setBrush(kUndoArrow);
    p.drawPolygon(head);
}

void DrawFind(QPainter& p) { DrawMagnifier(p, QPointF(6.5, 6.5), 4.6); }

void DrawFindNext(QPainter& p) {
    DrawMagnifier(p, QPointF(5.5, 7.5), 4.2);
    DrawArrow(p, 9.5, 15.5, 3.5, 3, kSendArrow, kSendArrowOutline);
}

bool DrawPicture(QPainter& p, int commandId) {
    switch (commandId) {
    case cmd::kFileNew: DrawNew(p); return true;
    case cmd::kFileOpen: DrawOpen(p); return true;
    case cmd::kFileSave: DrawSave(p); return true;
    case cmd::kEditCut: DrawCut(p); return true;
    case cmd::kEditCopy: DrawCopy(p); return true;
    case cmd::kEditPaste: DrawPaste(p); return true;
    case cmd::kSendFile: DrawSendFile(p); return true;
    case cmd::kSendCurrentFile: DrawSendCurrentFile(p); return true;
    case cmd::kReceiveFile: DrawReceiveFile(p); return true;
    case cmd::kSettings: DrawSettings(p); return true;
    case cmd::kAppAbout: DrawAbout(p); return true;
    case cmd::kEditUndo: DrawUndo(p); return true;
    case cmd::kEditFind: DrawFind(p); return true;
    case cmd::kEditFindNext: DrawFindNext(p); return true;
    default: return false;
    }
}

bool WriteStrip(const QString& folder, int toolbarId, int scale) {
    const auto layout = toolbar::Layout(toolbarId);
    int pictures = 0;
    for (int id : layout) pictures += id != toolbar::kSeparator;
    QImage strip(pictures * toolbar::kPictureWidth * scale, toolbar::kPictureHeight * scale,
                 QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    int index = 0;
    for (int id : layout) {
        if (id == toolbar::kSeparator) continue;
        p.save();
        p.scale(scale, scale);
        p.translate(index * toolbar::kPictureWidth, 0);
        p.setClipRect(QRectF(0, 0, toolbar::kPictureWidth, toolbar::kPictureHeight));
        if (!DrawPicture(p, id)) {
            std::fprintf(stderr, "no picture is drawn for command %d\n", id);
            return false;
        }
        p.restore();
        ++index;
    }
    p.end();
    const QString name = QStringLiteral("%1/toolbar%2%3.png")
                             .arg(folder)
                             .arg(toolbarId)
                             .arg(scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale));
    if (!strip.save(name, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
        return false;
    }
    std::printf("%s\n", qPrintable(name));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int id : {toolbar::kMainToolbarId, toolbar::kMenuPicturesToolbarId})
        for (int scale : {1, 2})
            if (!WriteStrip(folder, id, scale)) return 1;
    return 0;
}
