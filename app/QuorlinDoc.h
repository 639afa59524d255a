#pragma once
// The NC program document: its file name and line break, and the File
// commands (New, Open, Save, Save As) with their questions and messages. The
// text itself lives in the editor view.

#include <QObject>
#include <QString>

#include "app/NcFile.h"
#include "app/NcText.h"

class QWidget;

namespace quorlin {

class CQuorlinView;
class IPrompts;

class CQuorlinDoc : public QObject {
    Q_OBJECT
public:
    CQuorlinDoc(CQuorlinView& view, IPrompts& prompts, QWidget* window);

    QString PathName() const { return m_path; }  // empty for a document never saved
    QString Title() const;                       // the file's name, or "Untitled"
    LineEnding Ending() const;  // the break of a line added
    bool IsModified() const;

    // File menu commands.
    void OnFileNew();
    void OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();

    // "Save changes to %1?" for a modified document: false when the user
    // cancelled or the save failed, so the caller must stop.
    bool SaveModified();

    // An empty untitled document with CR LF line breaks.
    void NewDocument();
    // Reads path into the editor, keeping the window alive meanwhile (a
    // long read shows its progress and can be cancelled); on failure shows
    // the reason, and on failure or Cancel the document stays as it was.
    bool OpenDocument(const QString& path);
    // Writes the editor's text to path; on failure shows the reason, and
    // the file on disk is what it was.
    bool SaveDocument(const QString& path);

    // The message for a failed open or save of path.
    static QString OpenFailureText(const QString& path, const FileResult& result);
    static QString SaveFailureText(const QString& path, const FileResult& result);

signals:
    void titleChanged();
    // After New and Open: the views run their first update.
    void documentReplaced();

private:
    void ShowFailure(const QString& text);

    CQuorlinView& m_view;
    IPrompts& m_prompts;
    QWidget* m_pWindow;
    QString m_path;
    bool m_bOpening = false;  // an open runs: further File commands wait for it
};

}  // namespace quorlin
