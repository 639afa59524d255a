#pragma once
// The toolbar resources: for each toolbar, the size of one picture and the
// command of each button in order (0 for a separator, which has no picture).
// The picture strip toolbar<ID>.png holds one picture per non-separator
// button, side by side; toolbar<ID>@2x.png the same at twice the size.
// DrawToolbars.cpp draws both from this table, and ui/ToolbarStrip.cpp reads
// them back with it, so the two can never disagree on the order.

#include <array>
#include <span>

#include "res/CommandIds.h"

namespace quorlin::toolbar {

inline constexpr int kPictureWidth = 16;
inline constexpr int kPictureHeight = 16;

inline constexpr int kMainToolbarId = 128;
inline constexpr int kMenuPicturesToolbarId = 138;

inline constexpr int kSeparator = 0;

// The main window's toolbar.
inline constexpr std::array kMainToolbar{
    cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave, kSeparator,
    cmd::kEditCut, cmd::kEditCopy, cmd::kEditPaste, kSeparator,
    cmd::kSendFile, cmd::kSendCurrentFile, cmd::kReceiveFile, cmd::kSettings, kSeparator,
    cmd::kAppAbout,
};

// Pictures for the menus only: every command of the main toolbar again, plus
// the editing commands that have no button there. Its buttons are numbered
// after the main toolbar's eleven, so Undo is picture 14, Find 23 and
// Find Next 24 of the menu manager's list.
inline constexpr std::array kMenuPicturesToolbar{
    cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave, kSeparator,
    cmd::kEditUndo, kSeparator,
    cmd::kEditCut, cmd::kEditCopy, cmd::kEditPaste, kSeparator,
    cmd::kSendFile, cmd::kSendCurrentFile, cmd::kReceiveFile, cmd::kSettings, kSeparator,
    cmd::kAppAbout, kSeparator,
    cmd::kEditFind, cmd::kEditFindNext,
};

// The layout of a toolbar id, or an empty span for an unknown id.
constexpr std::span<const int> Layout(int toolbarId) {
    if (toolbarId == kMainToolbarId) return kMainToolbar;
    if (toolbarId == kMenuPicturesToolbarId) return kMenuPicturesToolbar;
    return {};
}

}  // namespace quorlin::toolbar
