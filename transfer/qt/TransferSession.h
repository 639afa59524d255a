#pragma once
// The application's host of the transfer engine: a Qt object without widgets
// that owns the engine (and through it the serial port), runs every transfer
// step on the GUI thread and tells the views what changed through signals.
// The log view, the progress dialogs and the main frame only connect to it.
//
// The port's threads hand their messages to Post, which queues them in the
// message pump; the pump's wake-up, watched by a socket notifier, wakes the
// GUI thread, which takes everything queued and hands it to
// TransferEngine::HandleMessage in posting order. A step that shows a
// message box runs a nested event loop: messages that arrive meanwhile wait
// until the step has returned, so that no step ever runs inside another.

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "transfer/CommSettings.h"
#include "transfer/MessagePump.h"
#include "transfer/TransferHost.h"
#include "transfer/TransferPort.h"
#include "transfer/qt/LogMirror.h"

class QSocketNotifier;

namespace quorlin {

class TransferEngine;

class TransferSession : public QObject, private ITransferHost {
    Q_OBJECT
public:
    // settings: the main frame's CommSettings, read whenever the port is
    // opened or a transfer starts; its busy flag mirrors IsBusy() and is
    // written nowhere else. port: the serial port to use, null for the real
    // one.
    explicit TransferSession(CommSettings& settings, std::unique_ptr<ITransferPort> port = nullptr,
                             QObject* parent = nullptr);
    ~TransferSession() override;
    TransferSession(const TransferSession&) = delete;
    TransferSession& operator=(const TransferSession&) = delete;

    // Each returns at once; the transfer goes on as the port's events arrive.
    bool OpenPort();
    void ClosePort();
    void SendFile(const QString& path);
    // text: the open document's bytes, line breaks as CR LF, in the encoding
    // the file was loaded with; path: its file name, empty if never saved.
    void SendCurrentFile(const QByteArray& text, const QString& path);
    // The same for a document resumed part-way: text is its start and the
    // rest from the line (from 1) that blockWord, if any, opens.
    void SendFrom(const QByteArray& text, const QString& path, const std::string& blockWord, long line);
    void ReceiveFile(const QString& path);
    void DownloadFile(const QString& path, DownloadKind downloadKind);

    // Cancel of the sending and the receiving dialog: the engine ends the
    // transfer as cancelled before these return; the dialog then goes.
    void OnSendDlgCancel();
    void OnReceiveDlgCancel();

    // Cancels the running transfer, if any, as its progress window's Cancel
    // does, and lets the window go: for a program that is ending.
    void CancelRunningTransfer();
    // Waits (bounded by the line time and a few seconds) until what was
    // written has left the port: only for a program that is ending.
    void FlushPortBeforeExit();

    // Clear All of the log view.
    void ClearAll();
    // The log as the engine counts it; the view shows Log().ViewText().
    const LogMirror& Log() const { return m_log; }

    // A transfer runs: the engine's own state, which busyChanged follows.
    bool IsBusy() const;
    TransferEngine& Engine() { return *m_engine; }

    // Port messages queued and not yet handed to the engine. GUI thread.
    size_t PendingMessages() const { return m_pump.Pending() + m_taken.size(); }
    // A step (an entry operation, a cancel or a port message) is running.
    bool IsInStep() const { return m_nStepDepth > 0; }

signals:
    void busyChanged(bool busy);

    // The log: text appended at the end, characters removed from the front,
    // everything removed; in the view's characters (see LogMirror).
    void logAppended(const QString& viewText);
    void logFrontErased(int viewCount);
    void logCleared();

    // The progress window of the running transfer. Range and position come
    // for a send only; byteCountChanged for both.
    void progressCreated(quorlin::ProgressKind kind, const QString& portText, const QString& systemText,
                         const QString& path);
    void progressRangeChanged(quint64 total);
    void progressPosChanged(quint64 position);
    void byteCountChanged(quint64 count);
    void progressDestroyed();

    // A message box to show now, before the step goes on. The receiver shows
    // it modally; the session holds back port messages until the step ends.
    // detail: a second line saying why and what to do, often empty.
    void messageRequested(const QString& text, const QString& caption, quorlin::MessageBoxIcon icon,
                          const QString& detail);

    // Port messages arrived while a step ran and wait for its end.
    void messagesDeferred();

protected:
    // Hands one queued message to the engine.
    virtual void Dispatch(unsigned message, uintptr_t wParam, intptr_t lParam);

private:
    class StepScope;

    void OnWakeUp();
    void TakeHeldMessages();

    size_t LogLength() const override { return m_log.Length(); }
    void EraseLogFront(size_t count) override;
    void AppendLogText(std::string_view text) override;
    void ClearLog() override;
    const CommSettings& Settings() const override { return m_settings; }
    void BusyChanged(bool busy) override;
    void CreateProgress(ProgressKind kind, const std::string& portText, const std::string& systemText,
                        const std::string& path) override;
    void SetProgressRange(uint64_t total) override;
    void SetProgressPos(uint64_t position) override;
    void SetByteCount(uint64_t count) override;
    void DestroyProgress() override;
    void ShowMessage(const std::string& text, const std::string& caption, MessageBoxIcon icon) override;
    // The box keeps its text; the reason goes on a second line under it.
    void ShowPortOpenFailure(const std::string& text, const std::string& caption, const PortFailure& why) override;
    void ShowFileOpenFailure(const std::string& text, const std::string& caption, const FileFailure& why) override;
    void Post(unsigned message, uintptr_t wParam, intptr_t lParam) override;

    CommSettings& m_settings;
    LogMirror m_log;

    MessagePump m_pump;  // Post comes from the port's threads
    std::unique_ptr<QSocketNotifier> m_pumpNotifier;  // on the pump's wake-up
    QTimer m_heldTake;  // a streaming receive: takes what gathered while wake-ups were held
    std::deque<MessagePump::Message> m_taken;  // taken from the pump, not yet handled
    int m_nStepDepth = 0;
    bool m_bDeferred = false;  // a wake-up came during a step

    // Last, so that it goes first: its port's threads post until it is gone.
    std::unique_ptr<TransferEngine> m_engine;
};

}  // namespace quorlin

Q_DECLARE_METATYPE(quorlin::ProgressKind)
Q_DECLARE_METATYPE(quorlin::MessageBoxIcon)
