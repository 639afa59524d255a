#pragma once
// Pictures of windows for the screenshot script (tools/screenshots): a test
// program saves them only when QUORLIN_SCREENSHOT_DIR names a folder.

#include <QString>

class QWidget;

namespace quorlin::test {

// Saves a picture of widget as $QUORLIN_SCREENSHOT_DIR/NAME.png.
void SaveScreenshot(QWidget* widget, const QString& name);

}  // namespace quorlin::test
