#pragma once
// A chain of hooks on one window's events. Several objects may hook the same
// window; the hook installed last sees an event first and decides whether to
// pass it on to the hook installed before it. What the last hook passes on
// goes to the window's own handling. Any hook may be removed at any time,
// from the middle of the chain too, and the others keep working. When the
// window is destroyed, every hook on it is released.
//
// User-interface thread only.

#include <QPointer>
#include <QWidget>

class QEvent;

namespace quorlin {

class CHookChain;

class CSubclassWnd {
public:
    CSubclassWnd() = default;
    CSubclassWnd(const CSubclassWnd&) = delete;
    CSubclassWnd& operator=(const CSubclassWnd&) = delete;
    virtual ~CSubclassWnd();

    // Hooks the window's events, in front of any hook already on it. A hook
    // moves: hooking another window (or nullptr) releases the first one.
    void HookWindow(QWidget* window);
    void Unhook() { HookWindow(nullptr); }

    bool IsHooked() const { return m_pWnd != nullptr; }
    QWidget* HookedWindow() const { return m_pWnd; }

protected:
    // Sees each event of the hooked window. Returns true when the event was
    // dealt with and must go no further; by default passes it on.
    virtual bool WindowProc(QEvent* event);
    // Hands the event to the next hook, or at the end of the chain reports
    // false so that the window handles it itself.
    bool PassOn(QEvent* event);

private:
    friend class CHookChain;

    QPointer<QWidget> m_pWnd;
    CSubclassWnd* m_pNext = nullptr;  // the hook installed before this one
};

}  // namespace quorlin
