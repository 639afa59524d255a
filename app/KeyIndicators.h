#pragma once
// The CAP, NUM and SCRL panes of the status bar, lit from the keyboard's lock
// state: the X server's indicators under X11, else the keyboard lights under
// /sys on Linux.

#include <QObject>

class QLabel;
class QStatusBar;

namespace quorlin {

enum class LockKey { Caps, Num, Scroll };

// Whether the lock is on; false where the system does not tell.
bool IsLockOn(LockKey key);

class KeyIndicators : public QObject {
    Q_OBJECT
public:
    // Adds the three panes to the right of the status bar.
    explicit KeyIndicators(QStatusBar* bar);

    // Reads the lock states again (after a lock key, on activation).
    void Refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_panes[3];
};

}  // namespace quorlin
