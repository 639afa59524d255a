#pragma once
// A toolbar picture strip: the pictures of one toolbar side by side, and the
// command number of each button (0 for a separator, which has no picture).

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <optional>
#include <vector>

namespace quorlin {

struct ToolbarStrip {
    QSize pictureSize;            // one picture, in device-independent pixels
    std::vector<int> commandIds;  // in button order; 0 is a separator
    QPixmap pictures;             // every non-separator button's picture, left to right
    QPixmap pictures2x;           // the same at twice the size (device pixel ratio 2), or null

    // Non-separator buttons, which is the number of pictures.
    int PictureCount() const;
    // The picture of the n-th non-separator button (empty icon if none),
    // with its sharper copy for scaled screens when the strip has one.
    QIcon Picture(int index) const;
    // The picture of a command's button, or an empty icon.
    QIcon PictureFor(int commandId) const;
};

// The strip of toolbar 128 (the main toolbar) or 138 (more command
// pictures for the menus); nothing for any other id or when its pictures do
// not match its buttons.
std::optional<ToolbarStrip> LoadToolbarStrip(int toolbarId);

}  // namespace quorlin
