#include "ui/SubclassWnd.h"

#include <QEvent>

namespace quorlin {

// The one event filter of a hooked window: a child object of the window that
// knows the hook installed last. It is found again through the window's
// children, so no table outside the window is needed, and it goes away with
// the window, releasing every hook that is still on it. It filters the
// window's events only while some hook is on it; it is never deleted before
// the window, because the last hook may leave from inside its own event.
class CHookChain : public QObject {
public:
    explicit CHookChain(QWidget* window) : QObject(window) { setObjectName(QLatin1String(kName)); }

    ~CHookChain() override {
        for (CSubclassWnd* hook = m_pTop; hook;) {
            CSubclassWnd* next = hook->m_pNext;
            hook->m_pWnd = nullptr;
            hook->m_pNext = nullptr;
            hook = next;
        }
    }

    static CHookChain* Of(QWidget* window) {
        return window->findChild<CHookChain*>(QLatin1String(kName), Qt::FindDirectChildrenOnly);
    }

    CSubclassWnd* m_pTop = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != parent() || !m_pTop) return false;
        return m_pTop->WindowProc(event);
    }

private:
    static constexpr const char* kName = "quorlin_hook_chain";
};

CSubclassWnd::~CSubclassWnd() { Unhook(); }

void CSubclassWnd::HookWindow(QWidget* window) {
    if (window == m_pWnd) return;
    if (m_pWnd) {
        CHookChain* chain = CHookChain::Of(m_pWnd);
        if (chain && chain->m_pTop == this) {
            chain->m_pTop = m_pNext;
            // The last hook leaves: the window is as it was before.
            if (!m_pNext) m_pWnd->removeEventFilter(chain);
        } else if (chain) {
            for (CSubclassWnd* hook = chain->m_pTop; hook; hook = hook->m_pNext) {
                if (hook->m_pNext == this) {
                    hook->m_pNext = m_pNext;
                    break;
                }
            }
        }
        m_pWnd = nullptr;
        m_pNext = nullptr;
    }
    if (!window) return;
    CHookChain* chain = CHookChain::Of(window);
    if (!chain) chain = new CHookChain(window);
    if (!chain->m_pTop) window->installEventFilter(chain);
    m_pNext = chain->m_pTop;
    chain->m_pTop = this;
    m_pWnd = window;
}

bool CSubclassWnd::WindowProc(QEvent* event) { return PassOn(event); }

bool CSubclassWnd::PassOn(QEvent* event) { return m_pNext ? m_pNext->WindowProc(event) : false; }

}  // namespace quorlin
