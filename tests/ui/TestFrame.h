#pragma once
// A main window with the application's menus (File, Edit, View, Operation,
// Tool, Help), whose Operation menu is rebuilt for a controller family the
// way the application's frame does it, with a menu manager installed.

#include <QMainWindow>
#include <QString>

#include "tests/ui/UiTestSupport.h"
#include "ui/CoolMenuManager.h"

class QMenu;

namespace quorlin::test {

class TestFrame : public QMainWindow {
public:
    static constexpr int kOperationMenuPosition = 3;
    static constexpr int kFixedOperationItems = 5;

    explicit TestFrame(bool withManager = true);

    QMenu* Popup(int position) const;
    QMenu* EditMenu() const { return Popup(1); }
    QMenu* OperationMenu() const { return Popup(kOperationMenuPosition); }
    QAction* Action(int commandId) const;
    // Removes the items after the fifth and appends the family's.
    void RebuildOperationMenu(int sysType);

    CCoolMenuManager& Manager() { return m_menus; }

private:
    CCoolMenuManager m_menus;
};

// The same item texts in position order ("" for a separator).
QStringList TextsOf(const QMenu* menu);

}  // namespace quorlin::test
