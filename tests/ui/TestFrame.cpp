#include "tests/ui/TestFrame.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <utility>
#include <vector>

#include "res/CommandIds.h"
#include "ui/CommandAction.h"

namespace quorlin::test {

namespace {

constexpr int kSeparator = 0;
using Item = std::pair<int, const char*>;

QMenu* AddPopup(QMenuBar* bar, const char* title, std::initializer_list<Item> items) {
    QMenu* menu = bar->addMenu(QString::fromLatin1(title));
    for (const auto& [id, text] : items) {
        QAction* action = id == kSeparator ? menu->addSeparator() : menu->addAction(QString::fromLatin1(text));
        SetCommandId(action, id);
    }
    return menu;
}

}  // namespace

TestFrame::TestFrame(bool withManager) {
    QMenuBar* bar = menuBar();
    AddPopup(bar, "&File",
             {{cmd::kFileNew, "&New\tCtrl+N"}, {cmd::kFileOpen, "&Open...\tCtrl+O"}, {cmd::kFileSave, "&Save\tCtrl+S"},
              {cmd::kFileSaveAs, "Save &As..."}, {kSeparator, ""}, {cmd::kAppExit, "E&xit"}});
    AddPopup(bar, "&Edit",
             {{cmd::kEditUndo, "&Undo\tCtrl+Z"}, {kSeparator, ""}, {cmd::kEditCut, "Cu&t\tCtrl+X"},
              {cmd::kEditCopy, "&Copy\tCtrl+C"}, {cmd::kEditPaste, "&Paste\tCtrl+V"},
              {cmd::kEditSelectAll, "Select A&ll\tCtrl+A"}, {kSeparator, ""}, {cmd::kEditFind, "&Find...\tCtrl+F"},
              {cmd::kEditFindNext, "F&ind Next\tF3"}, {cmd::kEditReplace, "R&eplace\tCtrl+H"}});
    QMenu* view = AddPopup(bar, "&View", {{cmd::kViewToolbar, "&Toolbar"}, {cmd::kViewStatusBar, "&Status Bar"}});
    for (QAction* action : view->actions()) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    AddPopup(bar, "&Operation",
             {{cmd::kSendFile, "&Send File"}, {cmd::kSendCurrentFile, "Send &Current File"}, {kSeparator, ""},
              {cmd::kReceiveFile, "&Receive File"}, {kSeparator, ""}});
    AddPopup(bar, "&Tool",
             {{cmd::kSettings, "&Settings"}, {cmd::kConvert, "&Convert"}, {cmd::kBatchConvert, "Batch convert"}});
    AddPopup(bar, "&Help", {{cmd::kAppAbout, "&About Quorlin..."}});
    if (withManager) {
        m_menus.Install(this);
        m_menus.LoadToolbars({128, 138});
    }
    RebuildOperationMenu(0);
}

QMenu* TestFrame::Popup(int position) const {
    const QList<QAction*> popups = menuBar()->actions();
    return position < popups.size() ? popups[position]->menu() : nullptr;
}

QAction* TestFrame::Action(int commandId) const {
    for (QAction* popup : menuBar()->actions())
        for (QAction* action : popup->menu()->actions())
            if (CommandIdOf(action) == commandId) return action;
    return nullptr;
}

void TestFrame::RebuildOperationMenu(int sysType) {
    QMenu* menu = OperationMenu();
    while (menu->actions().size() > kFixedOperationItems) {
        QAction* extra = menu->actions().at(kFixedOperationItems);
        menu->removeAction(extra);
        delete extra;
    }
    std::vector<Item> items;
    switch (sysType) {
    case 0:
    case 1:
        items = {{cmd::kDownloadInterface, "Download Interface"}, {cmd::kUpdate57F, "Update 57F/57QV/66G software"}};
        break;
    case 2: items = {{cmd::kUpdateP70, "Update P70/P80/P90"}}; break;
    case 3:
    case 4:
        items = {{cmd::kDownloadInterfaceQva, "Download Interface"},
                 {cmd::kUpdate57Qva, "Update 57QVA/58QVA/J4/P70 software"},
                 {cmd::kDownChnFont, "Down CHN Font"}};
        break;
    default: break;
    }
    for (const auto& [id, text] : items) SetCommandId(menu->addAction(QString::fromLatin1(text)), id);
}

QStringList TextsOf(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions()) texts << action->text();
    return texts;
}

}  // namespace quorlin::test
