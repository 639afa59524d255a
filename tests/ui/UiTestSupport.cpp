#include "tests/ui/UiTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QStyle>
#include <QWidget>

namespace quorlin::test {

QPalette LightPalette() { return QApplication::style()->standardPalette(); }

QPalette DarkPalette() {
    QPalette pal;
    const QColor window(53, 53, 53), text(236, 236, 236), grey(128, 128, 128);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        pal.setColor(group, QPalette::Window, window);
        pal.setColor(group, QPalette::Button, window);
        pal.setColor(group, QPalette::Base, QColor(35, 35, 35));
        pal.setColor(group, QPalette::AlternateBase, window);
        pal.setColor(group, QPalette::WindowText, disabled ? grey : text);
        pal.setColor(group, QPalette::Text, disabled ? grey : text);
        pal.setColor(group, QPalette::ButtonText, disabled ? grey : text);
        pal.setColor(group, QPalette::Light, QColor(96, 96, 96));
        pal.setColor(group, QPalette::Midlight, QColor(72, 72, 72));
        pal.setColor(group, QPalette::Mid, QColor(40, 40, 40));
        pal.setColor(group, QPalette::Dark, QColor(28, 28, 28));
        pal.setColor(group, QPalette::Shadow, Qt::black);
        pal.setColor(group, QPalette::Highlight, QColor(42, 110, 190));
        pal.setColor(group, QPalette::HighlightedText, Qt::white);
        pal.setColor(group, QPalette::ToolTipBase, QColor(64, 64, 64));
        pal.setColor(group, QPalette::ToolTipText, text);
    }
    return pal;
}

}  // namespace quorlin::test
