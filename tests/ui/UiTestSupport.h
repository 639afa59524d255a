#pragma once
// Palettes and screenshots shared by the widget tests of ui/.

#include <QPalette>
#include <QString>

class QWidget;

namespace quorlin::test {

// A light and a dark palette for the menus' colours.
QPalette LightPalette();
QPalette DarkPalette();

// Saves a picture of the widget to $QUORLIN_SCREENSHOT_DIR/name when the
// variable is set.
void SaveScreenshot(QWidget* widget, const QString& name);

}  // namespace quorlin::test
