#pragma once
// Palettes and screenshots shared by the widget tests of ui/.

#include <QPalette>
#include <QString>

#include "tests/support/Screenshot.h"

class QWidget;

namespace quorlin::test {

// A light and a dark palette for the menus' colours.
QPalette LightPalette();
QPalette DarkPalette();


}  // namespace quorlin::test
