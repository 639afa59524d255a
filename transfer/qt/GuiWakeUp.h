#pragma once
// Wakes the GUI thread from any other thread: an eventfd watched by a
// QSocketNotifier. Signal() may be called from any thread and returns at
// once; woken() is emitted on the object's own (GUI) thread, after the
// pending wake-ups have been taken, however many came.
//
// Not QCoreApplication::postEvent from the other threads: Qt's locking there
// is invisible to ThreadSanitizer with an uninstrumented Qt, and the tests
// run under it.

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace quorlin {

class GuiWakeUp : public QObject {
    Q_OBJECT
public:
    explicit GuiWakeUp(QObject* parent = nullptr);
    ~GuiWakeUp() override;
    GuiWakeUp(const GuiWakeUp&) = delete;
    GuiWakeUp& operator=(const GuiWakeUp&) = delete;

    // False when no eventfd could be had (the process ran out of
    // descriptors): Signal() then does nothing and the owner must look for
    // work some other way.
    bool IsValid() const { return m_fd >= 0; }
    void Signal();

signals:
    void woken();

private:
    void OnActivated();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace quorlin
