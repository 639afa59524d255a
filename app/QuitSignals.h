#pragma once
// The ways the system asks the program to end without the window: SIGTERM
// (logging out, kill), SIGINT (Ctrl+C where it was started) and SIGHUP (its
// terminal closed). Each arrives here as an ordinary Qt signal on the GUI
// thread, so that the program ends as Exit does, a running transfer
// cancelled first, instead of being cut off between two bytes.

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace quorlin {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // Takes the three signals over until destroyed; one object at a time.
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    bool IsValid() const { return m_notifier != nullptr; }

signals:
    // signalNumber: which one came.
    void quitRequested(int signalNumber);

private:
    void OnReadable();

    int m_readFd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

// Lets a write past the file-size limit fail with EFBIG, which the file
// code reports as a full disk, instead of the limit's signal ending the
// program with the document unsaved.
void IgnoreFileSizeLimitSignal();

}  // namespace quorlin
