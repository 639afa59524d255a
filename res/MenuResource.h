#pragma once
// Menu 128, its accelerators and the buttons of toolbar 128: what the main
// window is built from. Texts keep their '&' mnemonic and, after a tab, the
// key shown beside the item.

#include <vector>

namespace quorlin::res {

struct MenuItem {
    int commandId;      // 0: a separator
    const char* text;   // "&New\tCtrl+N"
};

struct MenuPopup {
    const char* title;  // "&File"
    std::vector<MenuItem> items;
};

// Position of the Operation popup in the menu bar, and how many items it
// keeps when it is rebuilt for another controller family.
constexpr int kOperationPopup = 3;
constexpr int kOperationFixedItems = 6;
constexpr int kEditPopup = 1;
constexpr int kFilePopup = 0;

const std::vector<MenuPopup>& MainMenu();

// Keys of a command: the one shown in its menu text first, then the others
// of accelerator table 128.
struct Accelerator {
    int commandId;
    const char* keys;   // QKeySequence portable text
};
const std::vector<Accelerator>& MainAccelerators();

// Toolbar 128, in button order; 0 is a separator.
const std::vector<int>& MainToolbar();

}  // namespace quorlin::res
