#pragma once
// The main window: the editor above the communication log, the menus, the
// toolbar and the status bar. It holds the communication settings and turns
// commands into calls on the transfer session, the document and the dialogs.

#include <QMainWindow>
#include <map>
#include <optional>
#include <memory>

#include "app/FrameRules.h"
#include "profile/Profile.h"
#include "transfer/CommSettings.h"
#include "ui/CoolMenuManager.h"

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

namespace quorlin {

class CaretIndicator;
class CCommView;
class CFindReplace;
class CQuorlinDoc;
class CQuorlinView;
class IPrompts;
class KeyIndicators;
class TransferSession;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(IPrompts& prompts, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CQuorlinView* GetEditorView() const { return m_pEditor; }
    CCommView* GetCommView() const { return m_pCommView; }
    CQuorlinDoc& Document() const { return *m_pDoc; }
    TransferSession& Session() const { return *m_session; }
    CFindReplace& FindReplace() const { return *m_pFindReplace; }
    QSplitter* Splitter() const { return m_pSplitter; }
    QToolBar* ToolBar() const { return m_pToolBar; }
    QMenu* OperationMenu() const;

    const CommSettings& Settings() const { return m_settings; }
    unsigned GetPortNumber() const { return m_settings.GetPortNumber(); }
    int32_t BaudForIndex(int32_t index) const { return m_settings.BaudForIndex(index); }

    // Reads the profile, derives the baud, rebuilds the Operation menu and
    // probes the ports.
    void LoadCommSettings();
    void RebuildOperationMenu();
    // The settings sheet's result: close the port, take the values, reopen,
    // rebuild the Operation menu.
    void ApplySettings(const StoredSettings& chosen);

    // The action of a command number, or null.
    QAction* Action(int commandId) const;
    // Runs a command as its menu item would.
    void OnCommand(int commandId);
    // Re-evaluates every command's enable state (menus and toolbar alike).
    void UpdateCommandStates();

    // The log view's first update: after the window is shown and after each
    // New and Open while no transfer runs.
    void InitialUpdate();

    // Opens a file as the document, as a drop or the command line does.
    bool OpenDocumentFile(const QString& path);
    // Brings the window to the front, restored (a second copy asked).
    void RestoreAndRaise();
    // The system asked the program to end (SIGTERM and its kin): the window
    // closes without a question, a running transfer cancelled as its Cancel
    // button does and what it owes the controller sent (bounded). The
    // application object then quits.
    void EndForSignal();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateCommands();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    QAction* MakeCommand(int commandId, const QString& text, QObject* owner);
    void UpdateCaption();
    void RefreshClipboardState();
    QWidget* ActivePane() const;
    EditState PaneState(QWidget* pane) const;

    void OnSendFile();
    void OnSendCurrentFile();
    void OnSendFromBlock();
    // The open document's bytes for the line; nothing (after telling the
    // person why) when a character has no byte.
    std::optional<QByteArray> DocumentTextForSending();
    void OnReceiveFile();
    void OnDownload(int commandId);
    void OnSettings();
    void OnGoTo();
    static bool IsRecentFileCommand(int commandId);
    void AddRecentFile(const QString& path);
    void RebuildRecentMenu();
    // Greys out the recent files that are gone (when the File menu opens).
    void RefreshRecentStates();
    void OnRecentFile(int index);
    // The place and split the window was left in, fitted to the screen.
    void PlaceWindow();
    void KeepOnScreen();
    void SavePlacement() const;
    void OnNextPane(bool forward);
    void OnNcTool(int commandId);
    void OnCompareWithFile();
    // The first five ports that open now.
    static std::array<int32_t, 5> ProbePortList();
    // Before a transfer command: with no port chosen (none was found, or an
    // adapter was plugged in since), the ports are looked for again.
    void ProbeIfNoPortChosen();
    // Cancels a running transfer on the way out and waits, bounded, for the
    // bytes it owes the controller (a receive's SUB).
    void StopTransferForExit();

    IPrompts& m_prompts;
    CommSettings m_settings;
    std::unique_ptr<TransferSession> m_session;
    CCoolMenuManager m_menuManager;

    QSplitter* m_pSplitter = nullptr;
    CQuorlinView* m_pEditor = nullptr;
    CCommView* m_pCommView = nullptr;
    CQuorlinDoc* m_pDoc = nullptr;
    CFindReplace* m_pFindReplace = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QLabel* m_pReady = nullptr;
    CaretIndicator* m_pCaret = nullptr;
    KeyIndicators* m_pIndicators = nullptr;
    std::vector<QMenu*> m_popups;
    std::map<int, QAction*> m_actions;
    std::map<int, DownloadKind> m_downloadKinds;  // command -> DownloadKind of the Operation items
    QStringList m_recentFiles;
    std::vector<bool> m_recentExists;
    QAction* m_pRecentSeparator = nullptr;
    QList<int> m_storedSplit;
    bool m_bClipboardHasText = false;
    bool m_bSplitDone = false;
    bool m_bShown = false;
    bool m_bEnding = false;  // the system asked the program to end
};

}  // namespace quorlin
