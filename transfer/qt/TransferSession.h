#pragma once
// The application's host of the transfer engine: a Qt object without widgets
// that owns the engine (and through it the serial port), runs every transfer
// step on the GUI thread and tells the views what changed through signals.
// The log view, the progress dialogs and the main frame only connect to it.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

#include "transfer/CommSettings.h"
#include "transfer/TransferHost.h"
#include "transfer/TransferPort.h"

namespace quorlin {

class TransferEngine;

class TransferSession : public QObject, private ITransferHost {
    Q_OBJECT
public:
    // settings: the main frame's CommSettings, read whenever the port is
    // opened or a transfer starts; its busy flag is written here. port: the
    // serial port to use, null for the real one.
    explicit TransferSession(CommSettings& settings, std::unique_ptr<ITransferPort> port = nullptr,
                             QObject* parent = nullptr);
    ~TransferSession() override;

    // Each returns at once; the transfer goes on as the port's events arrive.
    bool OpenPort();
    void ClosePort();
    void SendFile(const QString& path);
    // text: the open document's bytes, line breaks as CR LF, in the encoding
    // the file was loaded with; path: its file name, empty if never saved.
    void SendCurrentFile(const QByteArray& text, const QString& path);
    void ReceiveFile(const QString& path);
    void DownloadFile(const QString& path, int downloadKind);

    bool IsBusy() const;
    TransferEngine& Engine() { return *m_engine; }

signals:
    void busyChanged(bool busy);

private:
    size_t LogLength() const override;
    void EraseLogFront(size_t count) override;
    void AppendLogText(std::string_view text) override;
    void ClearLog() override;
    const CommSettings& Settings() const override { return m_settings; }
    void SetBusy(bool busy) override;
    void CreateProgress(ProgressKind kind, const std::string& portText, const std::string& systemText,
                        const std::string& path) override;
    void SetProgressRange(uint64_t total) override;
    void SetProgressPos(uint64_t position) override;
    void SetByteCount(uint64_t count) override;
    void DestroyProgress() override;
    void ShowMessage(const std::string& text, const std::string& caption, MessageBoxIcon icon) override;
    void Post(unsigned message, uintptr_t wParam, intptr_t lParam) override;

    CommSettings& m_settings;
    std::unique_ptr<TransferEngine> m_engine;
};

}  // namespace quorlin
