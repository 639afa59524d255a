#pragma once
// The application icon (icon 128): a program sheet with a transfer arrow,
// drawn in code at every size the window system asks for. res/quorlin.svg
// is the same drawing for the desktop entry.

#include <QIcon>

namespace quorlin::res {

QIcon AppIcon();

}  // namespace quorlin::res
