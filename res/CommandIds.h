#pragma once
// Command numbers of the menus, the toolbars and the accelerators. Every
// QAction of the application carries its number (ui/CommandAction.h), so that
// toolbar pictures, enable rules and tests can name a command by it.

namespace quorlin::cmd {

// File
constexpr int kFileNew = 57600;
constexpr int kFileOpen = 57601;
constexpr int kFileSave = 57603;
constexpr int kFileSaveAs = 57604;
constexpr int kAppExit = 57665;

// Edit
constexpr int kEditCopy = 57634;
constexpr int kEditCut = 57635;
constexpr int kEditFind = 57636;
constexpr int kEditPaste = 57637;
constexpr int kEditFindNext = 57640;
constexpr int kEditReplace = 57641;
constexpr int kEditSelectAll = 57642;
constexpr int kEditUndo = 57643;

// View
constexpr int kViewToolbar = 59392;
constexpr int kViewStatusBar = 59393;
constexpr int kNextPane = 57680;
constexpr int kPrevPane = 57681;

// Operation
constexpr int kSendFile = 32791;
constexpr int kSendCurrentFile = 32792;
constexpr int kReceiveFile = 32793;
constexpr int kSendFromBlock = 33030;             // the open program from a block on
constexpr int kDownloadInterface = 32787;         // families 0 and 1, kind 1
constexpr int kUpdate57F = 32803;                 // families 0 and 1, kind 3
constexpr int kUpdateP70 = 32801;                 // family 2, kind 2
constexpr int kDownloadInterfaceQva = 32805;      // families 3 and 4, kind 4
constexpr int kUpdate57Qva = 32806;               // families 3 and 4, kind 3
constexpr int kDownChnFont = 32807;               // families 3 and 4, kind 5

// Tool and Help
constexpr int kSettings = 32771;
constexpr int kConvert = 32800;
constexpr int kBatchConvert = 32804;
constexpr int kAppAbout = 57664;

// NC tools on the editor's selection or whole program, and the comparison
// of the program with a file
constexpr int kRenumberBlocks = 33020;
constexpr int kRemoveBlockNumbers = 33021;
constexpr int kCompactBlocks = 33022;
constexpr int kSpaceWords = 33023;
constexpr int kRemoveComments = 33024;
constexpr int kCompareWithFile = 33025;

// The log view's context menu
constexpr int kClearAll = 32783;

// Beyond the menu resource: Go To, Find Previous (Shift+F3) and the
// recent-file entries of the File menu (57616 to 57623, one per entry).
constexpr int kEditGoTo = 33000;
constexpr int kEditFindPrevious = 33001;
constexpr int kFileRecentFirst = 57616;
constexpr int kRecentFileCount = 8;

// First number of the system commands; menu code leaves these alone.
constexpr int kFirstSystemCommand = 61440;

}  // namespace quorlin::cmd
