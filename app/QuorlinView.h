#pragma once
// The NC program editor: the upper pane of the main window. A plain-text
// editor in a fixed-pitch font with line numbers and NC colouring; its
// context menu is the main menu's Edit popup.

#include <QPlainTextEdit>

class QMenu;

namespace quorlin {

class NcHighlighter;

class CQuorlinView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CQuorlinView(QWidget* parent = nullptr);

    // The popup shown by a right click or the context-menu key.
    void SetContextMenu(QMenu* menu) { m_pContextMenu = menu; }

    // The whole text with '\n' line breaks, every character as it stands
    // (no-break spaces stay what they are).
    QString Text() const;
    // Replaces the text as a freshly opened document: no undo history, not
    // modified.
    void SetText(const QString& text);

    // Puts the caret at the start of line (0-based) and shows the line in
    // the middle of the view.
    void GoToLine(int line);

    bool IsModified() const;
    void SetModified(bool modified);

    int LineNumberWidth() const;

signals:
    // Before the context menu opens, so the frame can refresh its commands.
    void contextMenuRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class LineNumberArea;
    void PaintLineNumbers(QPaintEvent* event);
    void UpdateLineNumberMargin();
    void UpdateLineNumberArea(const QRect& rect, int dy);

    LineNumberArea* m_pLineNumbers;
    NcHighlighter* m_pHighlighter;
    QMenu* m_pContextMenu = nullptr;
};

}  // namespace quorlin
