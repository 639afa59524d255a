#include "res/StringTable.h"

#include <algorithm>
#include <array>

#include "res/CommandIds.h"
#include "transfer/TransferTexts.h"

namespace quorlin::str {

namespace {

struct Entry {
    int id;
    const char* text;
};

// Command strings hold the status-bar prompt, then '\n' and the tooltip;
// one without '\n' serves as both.
constexpr Entry kTable[] = {
    {kAppTitle, "Quorlin1.74"},
    {kPropertyPage, "Property"},
    {cmd::kSettings, "Property"},
    {cmd::kDownloadInterface, "Download Interface"},
    {cmd::kSendFile, "Send File"},
    {cmd::kSendCurrentFile, "Send Current File"},
    {cmd::kReceiveFile, "Receive File"},
    {cmd::kConvert, "Convert"},
    {cmd::kUpdateP70, "Update P70/P80/P90"},
    {cmd::kUpdate57F, "Update 57F/57QV/66G software"},
    {cmd::kBatchConvert, "Batch converter"},
    {cmd::kDownloadInterfaceQva, "Download Interface"},
    {cmd::kUpdate57Qva, "Update 57QVA/58QVA/J4/P70 software"},
    {cmd::kDownChnFont, "Down CHN Font"},
    {kUpdateP70, "Update P70/P80/P90"},
    {kUpdate57F, "Update 57F/57QV/66G software"},
    {kUpdate57Qva, "Update 57QVA/58QVA/J4/P70 software"},
    {kCaptionError, texts::kCaptionError},
    {kSettingsCaption, "Settings"},
    {kSelectSendFile, "Select Send File"},
    {kCaptionPrompt, texts::kCaptionPrompt},
    {kSendCurrentQuestion, "Send current opened file?"},
    {kSelectBitmap, "Select Bitmap"},
    {kSelectSoftware, "Select Software"},
    {kFindEnded, " find ended!"},
    {kDownChnFont, "Down CHN Font"},
    {kAppName, "Quorlin"},
    {kReady, "Ready"},
    {cmd::kFileNew, "Create a new document\nNew"},
    {cmd::kFileOpen, "Open an existing document\nOpen"},
    {cmd::kFileSave, "Save the active document\nSave"},
    {cmd::kFileSaveAs, "Save the active document with a new name\nSave As"},
    {cmd::kEditCopy, "Copy the selection to the clipboard\nCopy"},
    {cmd::kEditCut, "Cut the selection to the clipboard\nCut"},
    {cmd::kEditFind, "Find the specified text\nFind"},
    {cmd::kEditPaste, "Insert the clipboard's contents\nPaste"},
    {cmd::kEditFindNext, "Repeat the last search\nFind Next"},
    {cmd::kEditReplace, "Replace specific text with different text\nReplace"},
    {cmd::kEditSelectAll, "Select the entire document\nSelect All"},
    {cmd::kEditUndo, "Undo the last action\nUndo"},
    {cmd::kAppAbout, "Display program information and version\nAbout"},
    {cmd::kAppExit, "Quit the application; prompts to save the document\nExit"},
    {cmd::kNextPane, "Switch to the next pane\nNext Pane"},
    {cmd::kPrevPane, "Switch back to the previous pane\nPrevious Pane"},
    {cmd::kViewToolbar, "Show or hide the toolbar\nToggle Toolbar"},
    {cmd::kViewStatusBar, "Show or hide the status bar\nToggle Status Bar"},
    {kUntitled, "Untitled"},
    {kSaveChanges, "Save changes to %1?"},
    {kFailedToOpen, "Failed to open document."},
    {kFailedToSave, "Failed to save document."},
    {kFileTooLarge, "The file is too large to open."},
    {kOpenTitle, "Open"},
    {kSaveAsTitle, "Save As"},
    {kAllFilesFilter, "All Files (*.*)"},
    {kWhyBinary, "%1 holds binary data (NUL bytes); it is not an NC program text."},
    {kWhyNotSingleByte,
     "The text holds characters that a single-byte NC file cannot store (the first is on line %1). "
     "Remove them and save again."},
    {kNotSentNotSingleByte,
     "The document was not sent: it holds characters that the serial line cannot carry (the first is on "
     "line %1). Remove them and send again."},
    {kWhySystemError, "The system reports: %1."},
    {kProfileNotStored,
     "The settings could not be stored in %1. They apply until Quorlin ends; check that the file and its "
     "folder can be written."},
    {kWhyTooLarge, "NC programs up to %1 MiB can be edited; send a larger file with Send File."},
    {kCommLabel, "Comm:"},
    {kSystemTypeLabel, "System type:"},
    {kBaudRateLabel, "Baud rate:"},
    {kFindCaption, "Find"},
    {kReplaceCaption, "Replace"},
    {kFindWhat, "Fi&nd what:"},
    {kReplaceWith, "Re&place with:"},
    {kMatchWholeWord, "Match &whole word only"},
    {kMatchCase, "Match &case"},
    {kDirection, "Direction"},
    {kDirectionUp, "&Up"},
    {kDirectionDown, "&Down"},
    {kFindNextButton, "&Find Next"},
    {kReplaceButton, "&Replace"},
    {kReplaceAllButton, "Replace &All"},
    {kCancelButton, "Cancel"},
    {cmd::kRenumberBlocks, "Number the blocks of the selection or of the whole program\nRenumber Blocks"},
    {cmd::kRemoveBlockNumbers,
     "Remove the block numbers of the selection or of the whole program\nRemove Block Numbers"},
    {cmd::kCompactBlocks, "Remove the spaces between words, outside comments\nCompact Blocks"},
    {cmd::kSpaceWords, "Put one space between words, outside comments\nSpace Words"},
    {cmd::kRemoveComments, "Remove the comments of the selection or of the whole program\nRemove Comments"},
    {cmd::kCompareWithFile, "Compare the program with a file, line by line\nCompare with File"},
    {kRenumberCaption, "Renumber Blocks"},
    {kRenumberStart, "&Start:"},
    {kRenumberStep, "S&tep:"},
    {kRenumberWidth, "&Digits:"},
    {kRenumberWidthAsNeeded, "as needed"},
    {kRenumberUnnumbered, "&Number blocks that have no block number"},
    {kRenumberJumps,
     "%1 block(s) jump to block numbers (GOTO, M97 or M99 with P). Their targets were not renumbered: "
     "check them before the program runs."},
    {kNcToolNoChange, "Nothing to change."},
    {kRenumberTooLarge,
     "The last block would be N%1, but a control holds block numbers up to %2. Nothing was renumbered: "
     "choose a smaller start or step."},
    {kRenumberOutgrowsWidth, "The block numbers outgrow %1 digits from N%2 on; the last is N%3."},
    {kCompareSelectFile, "Compare with File"},
    {kCompareCaption, "Compare %1 with %2"},
    {kIgnoreSpaces, "Ignore &spaces"},
    {kIgnoreBlockNumbers, "Ignore &block numbers"},
    {kPreviousDifference, "&Previous Difference"},
    {kNextDifference, "&Next Difference"},
    {kNoDifferences, "No differences"},
    {kOneDifference, "1 difference"},
    {kDifferences, "%1 differences"},
    {kDifferenceOf, "Difference %1 of %2"},
    {kCloseButton, "Close"},
    {kEditorName, "NC program"},
    {kLogName, "Communication log"},
    {kToolbarName, "Standard"},
    {cmd::kEditGoTo, "Move the caret to a line or to a block number\nGo To"},
    {cmd::kEditFindPrevious, "Repeat the last search in the other direction\nFind Previous"},
    {kGoToCaption, "Go To"},
    {kGoToLabel, "&Line number, or block number (N...):"},
    {kGoToNoLine, "There is no line %1: the program has %2 lines."},
    {kGoToNoBlock, "No block of the program is numbered %1."},
    {kOkButton, "OK"},
    {kCaretLine, "Ln %1, Col %2"},
    {kCaretName, "Caret position"},
    {kBlockName, "Block number"},
    {kWrappedToStart, "Passed the end of the program; continued from the start."},
    {kWrappedToEnd, "Passed the start of the program; continued from the end."},
    {kReplacedOne, "Replaced 1 occurrence."},
    {kReplacedMany, "Replaced %1 occurrences."},
    {kSearchStatusName, "Search status"},
    {kRecentFilePrompt, "Open this document"},
    {kOpeningFile, "Opening %1..."},
    {cmd::kSendFromBlock,
     "Send the open program from a chosen block or line on, behind its start\nSend from Block"},
    {kSendFromCaption, "Send from Block"},
    {kSendFromByBlock, "By &block number (N)"},
    {kSendFromByLine, "By &line number"},
    {kSendFromNumber, "S&tart at:"},
    {kSendFromSend, "&Send"},
    {kSendFromResumesAt, "Sends the program's start, then the program from line %1 on: %2"},
    {kSendFromNoNumber, "Type the number to start at."},
    {kMachineLabel, "Machine:"},
    {kNoMachine, "(none)"},
    {kMachinePortMissing, "%1 of machine %2 is not among the ports that open now; the Comm choice is unchanged."},
    {kStopTransferQuestion,
     "A transfer is running. Stop it and exit?\n\nYes cancels it as its Cancel button does (a receive keeps what it "
     "has stored and tells the controller), then the program ends. No keeps it running."},
};

const Entry* Find(int id) {
    const auto* it = std::find_if(std::begin(kTable), std::end(kTable), [id](const Entry& e) { return e.id == id; });
    return it == std::end(kTable) ? nullptr : it;
}

}  // namespace

QString LoadText(int id) {
    const Entry* entry = Find(id);
    return entry ? QString::fromUtf8(entry->text) : QString();
}

QString CommandPrompt(int commandId) { return LoadText(commandId).section(QLatin1Char('\n'), 0, 0); }

QString CommandTooltip(int commandId) {
    const QString text = LoadText(commandId);
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return newline < 0 ? text : text.mid(newline + 1);
}

}  // namespace quorlin::str
