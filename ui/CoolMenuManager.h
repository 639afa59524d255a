#pragma once
// Draws the main window's drop-down menus with the pictures that the same
// commands have on the toolbars, with the pressed look of a toolbar button
// for a checked item and the raised look for the highlighted one.
//
// A popup is converted when it is about to open: each of its items gets a
// record (ui/MenuItemRecord.h) and the popup gets the manager's style, which
// measures and draws recorded items. When the popup closes it is turned back
// into plain items with the application's style, so code that edits menus
// (the frame rebuilds its Operation menu) only ever meets plain QActions.
//
// User-interface thread only.

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <initializer_list>
#include <memory>
#include <vector>

#include "ui/SubclassWnd.h"

class QAction;
class QKeyEvent;
class QMainWindow;
class QMenu;
class QMenuBar;
class QStyle;

namespace quorlin {

class CCoolMenuStyle;
struct ToolbarStrip;

class CCoolMenuManager : public QObject, public CSubclassWnd {
    Q_OBJECT
public:
    CCoolMenuManager();
    ~CCoolMenuManager() override;

    // Hooks the frame's events; its menus are converted when they open.
    void Install(QMainWindow* frame);
    // Loads the picture strips of the given toolbars, in order (128, 138). A
    // toolbar that cannot be loaded adds nothing; loading as a whole always
    // goes on with the next one.
    void LoadToolbars(std::initializer_list<int> toolbarIds);
    // Loads one toolbar's strip; false when there is none or its pictures
    // have another size than the first toolbar's.
    bool LoadToolbar(int toolbarId);
    // Adds a strip under a toolbar id: its pictures go to the end of the
    // list, and each of its commands that has no picture yet gets its own.
    bool AddToolbar(int toolbarId, const ToolbarStrip& strip);
    // Forgets every picture, the command map and the sizes.
    void Destroy();
    // Loads the same toolbars again (new colours, style or screen scale).
    void Refresh();

    // Options; all but the first are off.
    void SetShowPictures(bool on) { m_bShowPictures = on; }
    void SetDisabledByStateDrawing(bool on) { m_bDisabledByState = on; }
    bool ShowPictures() const { return m_bShowPictures; }
    bool DisabledByStateDrawing() const { return m_bDisabledByState; }

    // What the menus are drawn from.
    int PictureIndexOf(int commandId) const { return m_pictureOfCommand.value(commandId, -1); }
    QIcon PictureAt(int index) const;
    int PictureCount() const { return int(m_pictures.size()); }
    QSize PictureSize() const { return m_pictureSize; }
    QSize BoxSize() const { return m_boxSize; }
    const std::vector<int>& ToolbarIds() const { return m_toolbarIds; }
    // The style converted popups are drawn with (for tests and screenshots).
    QStyle* MenuStyle() const;
    bool IsConverted(const QMenu* menu) const;
    int ConvertedCount() const;

protected:
    bool WindowProc(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    virtual void ConvertPopup(QMenu* menu);
    virtual void TurnBack(QMenu* menu);
    // A key typed while a converted popup is open; true when it picked an item.
    virtual bool OnMenuChar(QMenu* menu, QKeyEvent* event);

private:
    struct ConvertedPopup {
        QPointer<QMenu> menu;
        QPointer<QStyle> previousStyle;  // a style the menu had of its own, or null
    };

    void TrackMenuBar(QMenuBar* bar);
    void TrackMenu(QMenu* menu);
    void TurnBackAll();
    void RenewStyle();

    bool m_bShowPictures = true;
    bool m_bDisabledByState = false;
    QPointer<QMainWindow> m_pFrame;
    std::vector<int> m_toolbarIds;
    std::vector<QIcon> m_pictures;
    QHash<int, int> m_pictureOfCommand;
    std::vector<ConvertedPopup> m_converted;
    std::vector<QPointer<QObject>> m_tracked;  // menu bars and menus this object filters
    QSize m_pictureSize;
    QSize m_boxSize;
    std::unique_ptr<CCoolMenuStyle> m_pStyle;
};

}  // namespace quorlin
