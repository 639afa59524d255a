#include "ui/CoolMenuManager.h"

namespace quorlin {

void CCoolMenuManager::Install(QMainWindow* frame) { m_pFrame = frame; }

void CCoolMenuManager::LoadToolbars(std::initializer_list<int>) {}

}  // namespace quorlin
