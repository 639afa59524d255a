#include "convert/qt/DropEdit.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "convert/qt/ConvertStrings.h"

namespace quorlin {

DroppedFiles ReadDroppedFiles(const QMimeData& data) {
    DroppedFiles dropped;
    const QList<QUrl> urls = data.urls();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) {
            dropped.refusal =
                QString::fromUtf8(convertui::kTextDroppedNotLocal).replace(QLatin1String("%1"), url.toDisplayString());
            dropped.paths.clear();
            return dropped;
        }
        const QString path = QDir::toNativeSeparators(url.toLocalFile());
        if (QFileInfo(path).isDir()) {
            dropped.refusal = QString::fromUtf8(convertui::kTextDroppedFolder).replace(QLatin1String("%1"), path);
            dropped.paths.clear();
            return dropped;
        }
        dropped.paths.append(path);
    }
    return dropped;
}

CDropEdit::CDropEdit(QWidget* parent) : QLineEdit(parent) { setAcceptDrops(true); }

void CDropEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        return;
    }
    QLineEdit::dragEnterEvent(event);
}

void CDropEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        return;
    }
    QLineEdit::dragMoveEvent(event);
}

void CDropEdit::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        QLineEdit::dropEvent(event);
        return;
    }
    event->acceptProposedAction();
    const DroppedFiles dropped = ReadDroppedFiles(*event->mimeData());
    if (!dropped.refusal.isEmpty()) {
        emit dropRefused(dropped.refusal);
        return;
    }
    if (dropped.paths.size() == 1) {
        setText(dropped.paths.constFirst());
        emit droppedOneFile();
        return;
    }
    for (qsizetype i = 0; i < dropped.paths.size(); ++i) emit dropSrcFile(static_cast<int>(i), dropped.paths.at(i));
}

}  // namespace quorlin
