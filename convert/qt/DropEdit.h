#pragma once
// CDropEdit: an edit box onto which files can be dropped from a file manager.
//
// One dropped file becomes the box's text, and droppedOneFile() lets the
// dialog read its controls. Several dropped files leave the box alone: each
// is handed to the dialog through dropSrcFile(index, path), in drop order and
// synchronously (the "DropSrcFileMsg" of the converters), and the dialog
// decides where each goes. Paths are passed on whole, however long: a cut
// path would name another file.
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

// The local file paths of a drop; or, when one item cannot be converted,
// the text that says why (and no paths).
struct DroppedFiles {
    QStringList paths;
    QString refusal;
};
DroppedFiles ReadDroppedFiles(const QMimeData& data);

}  // namespace quorlin
