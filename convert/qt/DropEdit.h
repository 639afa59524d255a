#pragma once
// CDropEdit: an edit box onto which files can be dropped from a file manager.
//
// One dropped file becomes the box's text, and droppedOneFile() lets the
// dialog read its controls. Several dropped files leave the box alone: each
// is handed to the dialog through dropSrcFile(index, path), in drop order and
// synchronously (the "DropSrcFileMsg" of the converters), and the dialog
// decides where each goes. Paths are cut to kMaxDroppedPathLength characters.
//
// A drop is refused as a whole, with dropRefused(text) saying why, when one
// of its items is a folder or not a file on this computer (a web address
// dragged from a browser). Dropped plain text is inserted as by any edit box.

#include <QLineEdit>
#include <QStringList>

class QMimeData;

namespace quorlin {

class CDropEdit : public QLineEdit {
    Q_OBJECT
public:
    // The longest path a drop passes on: the drop's 260-character buffer
    // less its terminating zero.
    static constexpr qsizetype kMaxDroppedPathLength = 259;

    explicit CDropEdit(QWidget* parent = nullptr);

signals:
    void droppedOneFile();
    void dropSrcFile(int index, const QString& path);
    void dropRefused(const QString& text);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// The local file paths of a drop, each cut to the drop limit; or, when one
// item cannot be converted, the text that says why (and no paths).
struct DroppedFiles {
    QStringList paths;
    QString refusal;
};
DroppedFiles ReadDroppedFiles(const QMimeData& data);

// path cut to kMaxDroppedPathLength characters, never inside a surrogate pair.
QString CutDroppedPath(const QString& path);

}  // namespace quorlin
