#pragma once
// The NC program editor: the upper pane of the main window. A plain-text
// editor in a fixed-pitch font with line numbers and NC colouring; its
// context menu is the main menu's Edit popup. Each line's break (CR LF, LF or
// CR) is kept in its block's format: the text document carries it with the
// line through edits and their undoing, and a line the user adds has none
// and gets the program's usual break.

#include <QPlainTextEdit>
#include <memory>
#include <vector>

#include "app/NcText.h"

class QMenu;

namespace quorlin {

class NcHighlighter;

class CQuorlinView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CQuorlinView(QWidget* parent = nullptr);
    ~CQuorlinView() override;

    // The popup shown by a right click or the context-menu key.
    void SetContextMenu(QMenu* menu) { m_pContextMenu = menu; }

    // The whole text with '\n' line breaks, every character as it stands
    // (no-break spaces stay what they are).
    QString Text() const;
    // Replaces the text as a freshly opened document: no undo history, not
    // modified, every line with the break usual.
    void SetText(const QString& text, LineEnding usual = LineEnding::CrLf);
    // Shows document (its line breaks in the blocks' formats, made by
    // NewProgramDocument) and hands back the one shown until now.
    std::unique_ptr<QTextDocument> ReplaceDocument(std::unique_ptr<QTextDocument> document, LineEnding usual);

    // The break after each line, from the first; the usual break for a line
    // added in the editor.
    std::vector<LineEnding> LineBreaks() const;
    LineEnding UsualBreak() const { return m_usualBreak; }
    void SetUsualBreak(LineEnding usual) { m_usualBreak = usual; }

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
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class LineNumberArea;
    void PaintLineNumbers(QPaintEvent* event);
    void UpdateLineNumberMargin();
    void UpdateLineNumberArea(const QRect& rect, int dy);
    void ColourShownLines();
    void InsertLines(const QString& text);

    LineNumberArea* m_pLineNumbers;
    std::unique_ptr<NcHighlighter> m_pHighlighter;
    LineEnding m_usualBreak = LineEnding::CrLf;
    QMenu* m_pContextMenu = nullptr;
};

}  // namespace quorlin
