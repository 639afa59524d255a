#pragma once
// Draws the main window's drop-down menus with the pictures that the same
// commands have on the toolbars.

#include <initializer_list>

class QMainWindow;

namespace quorlin {

class CCoolMenuManager {
public:
    CCoolMenuManager() = default;
    CCoolMenuManager(const CCoolMenuManager&) = delete;
    CCoolMenuManager& operator=(const CCoolMenuManager&) = delete;

    // Hooks the frame's events; its menus are converted when they open.
    void Install(QMainWindow* frame);
    // Loads the picture strips of the given toolbars, in order (128, 138).
    void LoadToolbars(std::initializer_list<int> toolbarIds);

private:
    QMainWindow* m_pFrame = nullptr;
};

}  // namespace quorlin
