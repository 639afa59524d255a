#pragma once
// The application's string table: every text the windows show, keyed by its
// resource number. Texts of the transfer engine and the converters live with
// them (transfer/TransferTexts.h, convert/ConvertMessages.h) and are not
// repeated here.

#include <QString>

namespace quorlin::str {

// Identity
constexpr int kAppName = 57344;          // also the profile's application branch
constexpr int kAppTitle = 128;           // the main frame's caption before " - "
constexpr int kReady = 57345;            // status bar, idle
constexpr int kUntitled = 61440 + 1000;  // the framework's name of a new document

// Captions
constexpr int kCaptionError = 42806;
constexpr int kCaptionPrompt = 42819;
constexpr int kSettingsCaption = 42816;
constexpr int kPropertyPage = 130;       // the page caption of dialog 130

// Operation menu items added by family
constexpr int kUpdateP70 = 42801;
constexpr int kUpdate57F = 42803;
constexpr int kUpdate57Qva = 42804;
constexpr int kDownChnFont = 42835;

// File dialog titles and questions
constexpr int kSelectSendFile = 42817;
constexpr int kSendCurrentQuestion = 42820;
constexpr int kSelectBitmap = 42821;
constexpr int kSelectSoftware = 42822;
constexpr int kFindEnded = 42828;        // appended to the searched text
constexpr int kSaveChanges = 61699;      // "%1": the document's name

// The framework's file messages ("%1": the file's full path); the file-error
// texts ("%1 was not found." and the rest) are convert/FileError's.
constexpr int kFailedToOpen = 61701;
constexpr int kFailedToSave = 61702;
constexpr int kFileTooLarge = 61703;
constexpr int kOpenTitle = 61707;
constexpr int kSaveAsTitle = 61708;
constexpr int kAllFilesFilter = 61709;

// Second lines: why an operation failed and what to do about it
constexpr int kWhyBinary = 61720;
constexpr int kWhyNotSingleByte = 61721;
constexpr int kWhySystemError = 61722;   // "%1": the system's text
constexpr int kWhyTooLarge = 61723;      // "%1": the size limit in MiB
constexpr int kProfileNotStored = 61724; // "%1": the profile's file

// Settings page labels
constexpr int kCommLabel = 61730;
constexpr int kSystemTypeLabel = 61731;
constexpr int kBaudRateLabel = 61732;

// Find and Replace dialogs
constexpr int kFindCaption = 61740;
constexpr int kReplaceCaption = 61741;
constexpr int kFindWhat = 61742;
constexpr int kReplaceWith = 61743;
constexpr int kMatchWholeWord = 61744;
constexpr int kMatchCase = 61745;
constexpr int kDirection = 61746;
constexpr int kDirectionUp = 61747;
constexpr int kDirectionDown = 61748;
constexpr int kFindNextButton = 61749;
constexpr int kReplaceButton = 61750;
constexpr int kReplaceAllButton = 61751;
constexpr int kCancelButton = 61752;

// Start-up
constexpr int kEditorName = 61761;       // accessible names of the two panes
constexpr int kLogName = 61762;
constexpr int kToolbarName = 61763;

// Leaving
constexpr int kStopTransferQuestion = 61770;

// The text of a resource number (a command number gives the command's
// status-bar prompt); empty for a number the table does not hold.
QString LoadText(int id);

// The status-bar prompt and the tooltip of a command, from its command string.
QString CommandPrompt(int commandId);
QString CommandTooltip(int commandId);

}  // namespace quorlin::str
