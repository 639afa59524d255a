#include "res/MenuResource.h"

#include "res/CommandIds.h"

namespace quorlin::res {

const std::vector<MenuPopup>& MainMenu() {
    static const std::vector<MenuPopup> kMenu = {
        {"&File",
         {{cmd::kFileNew, "&New\tCtrl+N"},
          {cmd::kFileOpen, "&Open...\tCtrl+O"},
          {cmd::kFileSave, "&Save\tCtrl+S"},
          {cmd::kFileSaveAs, "Save &As..."},
          {0, ""},
          {cmd::kAppExit, "E&xit"}}},
        {"&Edit",
         {{cmd::kEditUndo, "&Undo\tCtrl+Z"},
          {0, ""},
          {cmd::kEditCut, "Cu&t\tCtrl+X"},
          {cmd::kEditCopy, "&Copy\tCtrl+C"},
          {cmd::kEditPaste, "&Paste\tCtrl+V"},
          {cmd::kEditSelectAll, "Select A&ll\tCtrl+A"},
          {0, ""},
          {cmd::kEditFind, "&Find...\tCtrl+F"},
          {cmd::kEditFindNext, "F&ind Next\tF3"},
          {cmd::kEditReplace, "R&eplace\tCtrl+H"},
          {0, ""},
          {cmd::kEditGoTo, "&Go To...\tCtrl+G"},
          {0, ""},
          {cmd::kRenumberBlocks, "Re&number Blocks..."},
          {cmd::kRemoveBlockNumbers, "Remove &Block Numbers"},
          {cmd::kCompactBlocks, "C&ompact Blocks"},
          {cmd::kSpaceWords, "Space &Words"},
          {cmd::kRemoveComments, "Remove Co&mments"}}},
        {"&View", {{cmd::kViewToolbar, "&Toolbar"}, {cmd::kViewStatusBar, "&Status Bar"}}},
        {"&Operation",
         {{cmd::kSendFile, "&Send File"},
          {cmd::kSendCurrentFile, "Send &Current File"},
          {cmd::kSendFromBlock, "Send from &Block..."},
          {0, ""},
          {cmd::kReceiveFile, "&Receive File"},
          {0, ""}}},
        {"&Tool", {{cmd::kSettings, "&Settings"}, {cmd::kConvert, "&Convert"}, {cmd::kBatchConvert, "Batch convert"},
          {0, ""}, {cmd::kCompareWithFile, "Compare with &File..."}}},
        {"&Help", {{cmd::kAppAbout, "&About Quorlin..."}}},
    };
    return kMenu;
}

const std::vector<Accelerator>& MainAccelerators() {
    static const std::vector<Accelerator> kAccelerators = {
        {cmd::kFileNew, "Ctrl+N"},        {cmd::kFileOpen, "Ctrl+O"},     {cmd::kFileSave, "Ctrl+S"},
        {cmd::kEditUndo, "Ctrl+Z"},       {cmd::kEditUndo, "Alt+Backspace"},
        {cmd::kEditCut, "Ctrl+X"},        {cmd::kEditCut, "Shift+Del"},
        {cmd::kEditCopy, "Ctrl+C"},       {cmd::kEditCopy, "Ctrl+Ins"},
        {cmd::kEditPaste, "Ctrl+V"},      {cmd::kEditPaste, "Shift+Ins"},
        {cmd::kEditSelectAll, "Ctrl+A"},  {cmd::kEditFind, "Ctrl+F"},
        {cmd::kEditFindNext, "F3"},       {cmd::kEditReplace, "Ctrl+H"},
        {cmd::kNextPane, "F6"},           {cmd::kPrevPane, "Shift+F6"},
        {cmd::kEditGoTo, "Ctrl+G"},       {cmd::kEditFindPrevious, "Shift+F3"},
    };
    return kAccelerators;
}

const std::vector<int>& MainToolbar() {
    static const std::vector<int> kButtons = {
        cmd::kFileNew,  cmd::kFileOpen,         cmd::kFileSave,    0,
        cmd::kEditCut,  cmd::kEditCopy,         cmd::kEditPaste,   0,
        cmd::kSendFile, cmd::kSendCurrentFile,  cmd::kReceiveFile, cmd::kSettings, 0,
        cmd::kAppAbout};
    return kButtons;
}

}  // namespace quorlin::res
