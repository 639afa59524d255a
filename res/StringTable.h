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
constexpr int kNotSentNotSingleByte = 61728;  // "%1": the line of the first such character

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

// NC tools and the Compare window
constexpr int kRenumberCaption = 62020;
constexpr int kRenumberStart = 62021;
constexpr int kRenumberStep = 62022;
constexpr int kRenumberWidth = 62023;
constexpr int kRenumberWidthAsNeeded = 62024;
constexpr int kRenumberUnnumbered = 62025;
constexpr int kRenumberJumps = 62026;      // "%1": how many blocks jump
constexpr int kNcToolNoChange = 62027;
constexpr int kRenumberTooLarge = 62028;   // "%1": the last block's number; "%2": the largest a control holds
constexpr int kRenumberOutgrowsWidth = 62029;  // "%1": the digits, "%2": the first wider number, "%3": the last
constexpr int kCompareSelectFile = 62030;
constexpr int kCompareCaption = 62031;     // "%1", "%2": the two names
constexpr int kIgnoreSpaces = 62032;
constexpr int kIgnoreBlockNumbers = 62033;
constexpr int kPreviousDifference = 62034;
constexpr int kNextDifference = 62035;
constexpr int kNoDifferences = 62036;
constexpr int kOneDifference = 62037;
constexpr int kDifferences = 62038;        // "%1": how many
constexpr int kDifferenceOf = 62039;       // "%1" of "%2"
constexpr int kCloseButton = 62040;

// Start-up
constexpr int kEditorName = 61761;       // accessible names of the two panes
constexpr int kLogName = 61762;
constexpr int kToolbarName = 61763;

// Finding one's place: Go To, the caret's pane, searches that wrap, the
// recent files
constexpr int kGoToCaption = 61900;
constexpr int kGoToLabel = 61901;
constexpr int kGoToNoLine = 61902;       // "%1": the line asked for, "%2": the lines there are
constexpr int kGoToNoBlock = 61903;      // "%1": the block number as typed
constexpr int kOkButton = 61904;
constexpr int kCaretLine = 61905;        // "%1" line, "%2" column
constexpr int kCaretName = 61906;
constexpr int kBlockName = 61907;
constexpr int kWrappedToStart = 61908;
constexpr int kWrappedToEnd = 61909;
constexpr int kReplacedOne = 61910;
constexpr int kReplacedMany = 61911;     // "%1": how many
constexpr int kSearchStatusName = 61912;
constexpr int kRecentFilePrompt = 61913;
// Opening a large program
constexpr int kOpeningFile = 61840;  // "%1": the file's name
// Resuming a send part-way
constexpr int kSendFromCaption = 62100;
constexpr int kSendFromByBlock = 62101;
constexpr int kSendFromByLine = 62102;
constexpr int kSendFromNumber = 62103;
constexpr int kSendFromSend = 62104;
constexpr int kSendFromResumesAt = 62105;  // "%1": the line, "%2": its text
constexpr int kSendFromNoNumber = 62106;
// Machine profiles in the settings sheet
constexpr int kMachineLabel = 62110;
constexpr int kNoMachine = 62111;
constexpr int kMachinePortMissing = 62112;  // "%1": the machine's port, "%2": the machine
// Leaving
constexpr int kStopTransferQuestion = 61770;

// The text of a resource number (a command number gives the command's
// status-bar prompt); empty for a number the table does not hold.
QString LoadText(int id);

// The status-bar prompt and the tooltip of a command, from its command string.
QString CommandPrompt(int commandId);
QString CommandTooltip(int commandId);

}  // namespace quorlin::str
