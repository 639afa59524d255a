#pragma once
// Rules of the main window that need no window: the Operation menu's items
// by controller family, which commands a running transfer disables, the
// first split of the client area, and the file dialogs of the commands.

#include <QMargins>
#include <QRect>
#include <QString>
#include <QStringList>
#include <vector>

#include "transfer/ControllerFamily.h"

namespace quorlin {

// One download command of the Operation menu.
struct OperationItem {
    int commandId;
    int textId;        // string table entry of the menu text
    DownloadKind downloadKind;  // what DownloadFile is asked to send
};

// The items appended after the five fixed ones for a family: its downloads;
// none for a number outside the family table.
std::vector<OperationItem> OperationItemsFor(int sysType);

// True for the commands that start a transfer or change its settings: they
// are disabled on menu and toolbar while a transfer runs.
bool IsDisabledWhileBusy(int commandId);

// The heights of the editor and the log for a client height: 2T and T with
// T = height / 3.
struct SplitSizes {
    int editor;
    int log;
};
SplitSizes InitialSplit(int clientHeight);

// Where the main window goes, given the screen's available area and the
// window frame's margins (title bar and borders). The first window takes two
// thirds of the area each way, at least 800 by 600 where that fits, centred.
QRect FirstWindowRect(const QRect& available, const QMargins& frame);
// rect (the window without its frame) moved, and shrunk where it must be,
// so that it lies inside available with its frame.
QRect FitToArea(const QRect& rect, const QMargins& frame, const QRect& available);

// The File menu's text of recent file number index (0-based): "&1 " and
// the path, its middle left out when it is long.
QString RecentFileMenuText(int index, const QString& path);

// What a command's file dialog looks like.
struct FileDialogRequest {
    enum class Mode { OpenExisting, Save };
    Mode mode = Mode::OpenExisting;
    QString title;          // empty: the dialog's own title
    QStringList filters;    // Qt form, "*.nc (*.nc)", in the order offered
    QString defaultSuffix;  // without the dot; empty for none
    QString initialName;    // file name the dialog starts with
    QString purpose;        // the profile's name of the folder it starts in
    QString initialFolder;  // where it starts; empty: the dialog's own choice
};

// The dialogs of the transfer commands (32791, 32793 and the downloads) and
// of the document's Open and Save As (57601, 57604); a default-made request for
// any other command.
FileDialogRequest FileDialogFor(int commandId);

}  // namespace quorlin

namespace quorlin {

// What the Edit commands depend on in the pane they act on.
struct EditState {
    bool readOnly = false;
    bool hasSelection = false;
    bool canUndo = false;
    bool canPaste = false;  // the clipboard holds text
    bool hasText = false;
};

// Whether an Edit command (Undo, Cut, Copy, Paste, Select All, Find, Find
// Next, Find Previous, Replace, Go To) is enabled for a pane in that state;
// true for any other command.
bool IsEditCommandEnabled(int commandId, const EditState& state);

}  // namespace quorlin
