#include "app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "app/CommProp.h"
#include "app/FindReplace.h"
#include "app/KeyIndicators.h"
#include "app/NcText.h"
#include "app/Prompts.h"
#include "app/QuorlinDoc.h"
#include "app/QuorlinView.h"
#include "convert/qt/BatchConvertDlg.h"
#include "convert/qt/ConvertDlg.h"
#include "res/AppIcon.h"
#include "res/CommandIds.h"
#include "res/MenuResource.h"
#include "res/StringTable.h"
#include "serial/ProbePorts.h"
#include "transfer/qt/CommView.h"
#include "transfer/qt/TransferSession.h"
#include "ui/AboutDlg.h"
#include "ui/CommandAction.h"
#include "ui/ToolbarStrip.h"

namespace quorlin {

namespace {

// The frame's first size: this share of the screen, at least the minimum.
constexpr double kScreenShare = 2.0 / 3.0;
constexpr QSize kMinimumFirstSize(800, 600);
constexpr int kMainToolbarId = 128;
constexpr int kMenuPicturesToolbarId = 138;

QString Plain(QString text) {
    text.remove(QLatin1Char('&'));
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    return tab < 0 ? text : text.left(tab);
}

}  // namespace

CMainFrame::CMainFrame(IPrompts& prompts, QWidget* parent) : QMainWindow(parent), m_prompts(prompts) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(res::AppIcon());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize available = screen->availableSize();
        resize(QSize(int(available.width() * kScreenShare), int(available.height() * kScreenShare))
                   .expandedTo(kMinimumFirstSize));
    } else {
        resize(kMinimumFirstSize);
    }

    m_session = std::make_unique<TransferSession>(m_settings);

    // The split: the editor above, the log below.
    m_pSplitter = new QSplitter(Qt::Vertical, this);
    m_pSplitter->setObjectName(QStringLiteral("splitter"));
    m_pSplitter->setChildrenCollapsible(false);
    m_pEditor = new CQuorlinView(m_pSplitter);
    m_pCommView = new CCommView(*m_session, m_pSplitter);
    m_pCommView->setObjectName(QStringLiteral("commView"));
    if (m_pCommView->accessibleName().isEmpty()) m_pCommView->setAccessibleName(str::LoadText(str::kLogName));
    m_pSplitter->addWidget(m_pEditor);
    m_pSplitter->addWidget(m_pCommView);
    setCentralWidget(m_pSplitter);

    m_pDoc = new CQuorlinDoc(*m_pEditor, m_prompts, this);
    m_pFindReplace = new CFindReplace(*m_pEditor, m_prompts, this);

    CreateCommands();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();

    m_menuManager.Install(this);
    m_menuManager.LoadToolbars({kMainToolbarId, kMenuPicturesToolbarId});

    connect(m_pDoc, &CQuorlinDoc::titleChanged, this, &CMainFrame::UpdateCaption);
    connect(m_pDoc, &CQuorlinDoc::documentReplaced, this, [this] {
        if (m_bShown) InitialUpdate();
        UpdateCommandStates();
    });
    connect(m_session.get(), &TransferSession::busyChanged, this, [this] { UpdateCommandStates(); });
    for (QPlainTextEdit* pane : {static_cast<QPlainTextEdit*>(m_pEditor), static_cast<QPlainTextEdit*>(m_pCommView)}) {
        connect(pane, &QPlainTextEdit::copyAvailable, this, &CMainFrame::UpdateCommandStates);
        connect(pane, &QPlainTextEdit::undoAvailable, this, &CMainFrame::UpdateCommandStates);
        connect(pane, &QPlainTextEdit::textChanged, this, &CMainFrame::UpdateCommandStates);
    }
    connect(m_pEditor, &CQuorlinView::contextMenuRequested, this, &CMainFrame::RefreshClipboardState);
    // The clipboard is asked only when it changes: on X11 each question is a
    // round trip to the program that owns it.
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &CMainFrame::RefreshClipboardState);
    connect(qApp, &QApplication::focusChanged, this, &CMainFrame::UpdateCommandStates);

    LoadCommSettings();
    UpdateCaption();
    UpdateCommandStates();
}

CMainFrame::~CMainFrame() {
    // The views refer to the session: they go first, and nothing that fires
    // while they go (a focus change, the clipboard) may reach for them.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    m_pEditor = nullptr;
    m_pCommView = nullptr;
    delete m_pSplitter;
    m_pSplitter = nullptr;
}

QAction* CMainFrame::MakeCommand(int commandId, const QString& text, QObject* owner) {
    auto* action = new QAction(text, owner);
    SetCommandId(action, commandId);
    action->setObjectName(QStringLiteral("command%1").arg(commandId));
    const QString tooltip = str::CommandTooltip(commandId);
    action->setToolTip(tooltip.isEmpty() ? Plain(text) : tooltip);
    action->setIconText(tooltip.isEmpty() ? Plain(text) : tooltip);
    action->setStatusTip(str::CommandPrompt(commandId));
    QList<QKeySequence> keys;
    for (const res::Accelerator& accelerator : res::MainAccelerators())
        if (accelerator.commandId == commandId) keys << QKeySequence(QString::fromLatin1(accelerator.keys));
    if (!keys.isEmpty()) {
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
    }
    connect(action, &QAction::triggered, this, [this, commandId] { OnCommand(commandId); });
    m_actions[commandId] = action;
    return action;
}

void CMainFrame::CreateCommands() {
    for (const res::MenuPopup& popup : res::MainMenu())
        for (const res::MenuItem& item : popup.items)
            if (item.commandId != 0) MakeCommand(item.commandId, QString::fromUtf8(item.text), this);
    m_actions[cmd::kViewToolbar]->setCheckable(true);
    m_actions[cmd::kViewStatusBar]->setCheckable(true);
    // Keys without a menu item: F6 and Shift+F6 move between the panes.
    for (int commandId : {cmd::kNextPane, cmd::kPrevPane}) addAction(MakeCommand(commandId, {}, this));
}

void CMainFrame::CreateMenus() {
    for (const res::MenuPopup& popup : res::MainMenu()) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(popup.title));
        menu->setObjectName(Plain(QString::fromUtf8(popup.title)));
        for (const res::MenuItem& item : popup.items) {
            if (item.commandId == 0) menu->addSeparator();
            else menu->addAction(m_actions.at(item.commandId));
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::RefreshClipboardState);
        m_popups.push_back(menu);
    }
    m_pEditor->SetContextMenu(m_popups.at(res::kEditPopup));
}

void CMainFrame::CreateToolBar() {
    m_pToolBar = new QToolBar(str::LoadText(str::kToolbarName), this);
    m_pToolBar->setObjectName(QStringLiteral("toolbar"));
    m_pToolBar->setAccessibleName(str::LoadText(str::kToolbarName));
    m_pToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_pToolBar->setMovable(true);
    m_pToolBar->setFloatable(true);
    const std::optional<ToolbarStrip> strip = LoadToolbarStrip(kMainToolbarId);
    if (strip) m_pToolBar->setIconSize(strip->pictureSize);
    for (int commandId : res::MainToolbar()) {
        if (commandId == 0) {
            m_pToolBar->addSeparator();
            continue;
        }
        QAction* action = m_actions.at(commandId);
        if (strip) action->setIcon(strip->PictureFor(commandId));
        m_pToolBar->addAction(action);
    }
    // Without pictures the buttons show their names.
    m_pToolBar->setToolButtonStyle(strip ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextOnly);
    addToolBar(Qt::TopToolBarArea, m_pToolBar);
    setDockOptions(dockOptions() | QMainWindow::AnimatedDocks);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    m_pReady = new QLabel(str::LoadText(str::kReady), bar);
    m_pReady->setObjectName(QStringLiteral("ready"));
    m_pReady->setAccessibleName(m_pReady->text());
    bar->addWidget(m_pReady, 1);
    m_pIndicators = new KeyIndicators(bar);
}

void CMainFrame::RefreshClipboardState() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    m_bClipboardHasText = data && data->hasText();
    UpdateCommandStates();
}

QMenu* CMainFrame::OperationMenu() const { return m_popups.at(res::kOperationPopup); }

QAction* CMainFrame::Action(int commandId) const {
    const auto it = m_actions.find(commandId);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::SetBusy(int busy) {
    m_settings.busy = busy ? 1 : 0;
    UpdateCommandStates();
}

void CMainFrame::LoadCommSettings() {
    const StoredSettings stored = ReadProfile();
    m_settings.commPort = stored.commPort;
    m_settings.sysType = stored.sysType;
    m_settings.baudRate = stored.baudRate;
    m_settings.baud = m_settings.BaudForIndex(m_settings.baudRate);
    RebuildOperationMenu();
    m_settings.portList = ProbePortList();
}

std::array<int32_t, 5> CMainFrame::ProbePortList() {
    std::array<int32_t, 5> list{};
    const auto found = ProbePorts();
    for (size_t i = 0; i < found.size() && i < list.size(); ++i) list[i] = static_cast<int32_t>(found[i]);
    return list;
}

void CMainFrame::ProbeIfNoPortChosen() {
    if (m_settings.GetPortNumber() != 0) return;
    m_settings.portList = ProbePortList();
}

void CMainFrame::RebuildOperationMenu() {
    QMenu* menu = OperationMenu();
    while (menu->actions().size() > res::kOperationFixedItems) {
        QAction* action = menu->actions().at(res::kOperationFixedItems);
        menu->removeAction(action);
        const int commandId = CommandIdOf(action);
        if (m_downloadKinds.count(commandId)) {
            m_actions.erase(commandId);
            m_downloadKinds.erase(commandId);
            delete action;
        }
    }
    for (const OperationItem& item : OperationItemsFor(m_settings.sysType)) {
        QAction* action = MakeCommand(item.commandId, str::LoadText(item.textId), menu);
        m_downloadKinds[item.commandId] = item.downloadKind;
        menu->addAction(action);
    }
    UpdateCommandStates();
}

void CMainFrame::ApplySettings(const StoredSettings& chosen) {
    m_session->ClosePort();
    m_settings.commPort = chosen.commPort;
    m_settings.sysType = chosen.sysType;
    m_settings.baudRate = chosen.baudRate;
    m_settings.baud = m_settings.BaudForIndex(m_settings.baudRate);
    m_session->OpenPort();
    RebuildOperationMenu();
}

void CMainFrame::UpdateCaption() {
    setWindowTitle(str::LoadText(str::kAppTitle) + QStringLiteral(" - ") + m_pDoc->Title());
}

QWidget* CMainFrame::ActivePane() const {
    // The log acts on the Edit commands only while it has the focus.
    return m_pCommView->hasFocus() ? static_cast<QWidget*>(m_pCommView) : static_cast<QWidget*>(m_pEditor);
}

EditState CMainFrame::PaneState(QWidget* pane) const {
    auto* edit = static_cast<QPlainTextEdit*>(pane);
    EditState state;
    state.readOnly = edit->isReadOnly();
    state.hasSelection = edit->textCursor().hasSelection();
    state.canUndo = edit->document()->isUndoAvailable();
    state.canPaste = m_bClipboardHasText;
    state.hasText = !edit->document()->isEmpty();
    return state;
}

void CMainFrame::UpdateCommandStates() {
    if (m_actions.empty() || !m_pEditor || !m_pCommView) return;
    const bool busy = m_settings.busy != 0;
    QWidget* pane = ActivePane();
    const EditState paneState = PaneState(pane);
    const EditState editorState = PaneState(m_pEditor);
    for (const auto& [commandId, action] : m_actions) {
        bool enabled = !(busy && IsDisabledWhileBusy(commandId));
        switch (commandId) {
        case cmd::kEditCopy:
        case cmd::kEditSelectAll: enabled = IsEditCommandEnabled(commandId, paneState); break;
        case cmd::kEditUndo:
        case cmd::kEditCut:
        case cmd::kEditPaste:
            enabled = pane == m_pEditor && IsEditCommandEnabled(commandId, editorState);
            break;
        case cmd::kEditFind:
        case cmd::kEditFindNext:
        case cmd::kEditReplace: enabled = IsEditCommandEnabled(commandId, editorState); break;
        default: break;
        }
        action->setEnabled(enabled);
    }
    m_actions[cmd::kViewToolbar]->setChecked(m_pToolBar && !m_pToolBar->isHidden());
    m_actions[cmd::kViewStatusBar]->setChecked(!statusBar()->isHidden());
}

void CMainFrame::OnCommand(int commandId) {
    // A key may still reach a command that a transfer has just disabled.
    if (m_settings.busy && IsDisabledWhileBusy(commandId)) return;
    auto* pane = static_cast<QPlainTextEdit*>(ActivePane());
    if (commandId == cmd::kSendFile || commandId == cmd::kSendCurrentFile || commandId == cmd::kReceiveFile ||
        m_downloadKinds.count(commandId))
        ProbeIfNoPortChosen();
    switch (commandId) {
    case cmd::kFileNew: m_pDoc->OnFileNew(); break;
    case cmd::kFileOpen: m_pDoc->OnFileOpen(); break;
    case cmd::kFileSave: m_pDoc->OnFileSave(); break;
    case cmd::kFileSaveAs: m_pDoc->OnFileSaveAs(); break;
    case cmd::kAppExit: close(); break;
    case cmd::kEditUndo: m_pEditor->undo(); break;
    case cmd::kEditCut: m_pEditor->cut(); break;
    case cmd::kEditCopy: pane->copy(); break;
    case cmd::kEditPaste: m_pEditor->paste(); break;
    case cmd::kEditSelectAll: pane->selectAll(); break;
    case cmd::kEditFind: m_pFindReplace->OnEditFind(); break;
    case cmd::kEditFindNext: m_pFindReplace->OnEditFindNext(); break;
    case cmd::kEditReplace: m_pFindReplace->OnEditReplace(); break;
    case cmd::kViewToolbar: m_pToolBar->setVisible(m_pToolBar->isHidden()); break;
    case cmd::kViewStatusBar: statusBar()->setVisible(statusBar()->isHidden()); break;
    case cmd::kNextPane: OnNextPane(true); break;
    case cmd::kPrevPane: OnNextPane(false); break;
    case cmd::kSendFile: OnSendFile(); break;
    case cmd::kSendCurrentFile: OnSendCurrentFile(); break;
    case cmd::kReceiveFile: OnReceiveFile(); break;
    case cmd::kSettings: OnSettings(); break;
    case cmd::kConvert: (new CConvertDlg(this))->show(); break;
    case cmd::kBatchConvert: (new CBatchConvertDlg(this))->show(); break;
    case cmd::kAppAbout: {
        CAboutDlg dlg(this);
        dlg.exec();
        break;
    }
    default:
        if (m_downloadKinds.count(commandId)) OnDownload(commandId);
        break;
    }
    UpdateCommandStates();
}

void CMainFrame::OnSendFile() {
    const QString path = m_prompts.FilePath(this, FileDialogFor(cmd::kSendFile));
    if (!path.isEmpty()) m_session->SendFile(path);
}

void CMainFrame::OnSendCurrentFile() {
    if (m_prompts.Message(this, str::LoadText(str::kSendCurrentQuestion), str::LoadText(str::kCaptionPrompt),
                          PromptIcon::Information, PromptButtons::OkCancel) != PromptAnswer::Ok)
        return;
    m_session->SendCurrentFile(TextForSending(m_pEditor->Text()), m_pDoc->PathName());
}

void CMainFrame::OnReceiveFile() {
    const QString path = m_prompts.FilePath(this, FileDialogFor(cmd::kReceiveFile));
    if (!path.isEmpty()) m_session->ReceiveFile(path);
}

void CMainFrame::OnDownload(int commandId) {
    const int kind = m_downloadKinds.at(commandId);
    const QString path = m_prompts.FilePath(this, FileDialogFor(commandId));
    if (!path.isEmpty()) m_session->DownloadFile(path, kind);
}

void CMainFrame::OnSettings() {
    // The list shows the ports there are now: an adapter plugged in since
    // start-up is offered. Cancel keeps the list the stored choice refers to.
    CommSettings shown = m_settings;
    shown.portList = ProbePortList();
    CSettingsSheet sheet(shown, this);
    CCommProp& page = sheet.Page();
    page.commPort = m_settings.commPort;
    page.sysType = m_settings.sysType;
    page.baudRate = m_settings.baudRate;
    if (sheet.exec() != QDialog::Accepted) return;
    m_settings.portList = shown.portList;
    ApplySettings({page.commPort, page.sysType, page.baudRate});
    if (!sheet.Stored())
        m_prompts.Message(this, str::LoadText(str::kProfileNotStored).arg(QDir::toNativeSeparators(ProfileLocation())),
                          str::LoadText(str::kCaptionError), PromptIcon::Error);
}

void CMainFrame::OnNextPane(bool forward) {
    Q_UNUSED(forward);  // two panes: next and previous are the same one
    if (m_pEditor->hasFocus()) m_pCommView->setFocus(Qt::OtherFocusReason);
    else m_pEditor->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::InitialUpdate() {
    if (m_settings.busy) return;  // reopening the port would break the running transfer
    m_pCommView->OnInitialUpdate();
}

bool CMainFrame::OpenDocumentFile(const QString& path) {
    if (!m_pDoc->SaveModified()) return false;
    return m_pDoc->OpenDocument(path);
}

void CMainFrame::RestoreAndRaise() {
    if (isMinimized()) showNormal();
    else show();
    raise();
    activateWindow();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    m_bShown = true;
    if (!m_bSplitDone) {
        m_bSplitDone = true;
        const SplitSizes sizes = InitialSplit(m_pSplitter->height());
        m_pSplitter->setSizes({sizes.editor, sizes.log});
        // Paste's state for the toolbar, once the window is up.
        QMetaObject::invokeMethod(this, &CMainFrame::RefreshClipboardState, Qt::QueuedConnection);
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_bEnding) {
        // Leaving would cut the controller off in the middle of a program.
        if (m_settings.busy &&
            m_prompts.Message(this, str::LoadText(str::kStopTransferQuestion), str::LoadText(str::kCaptionPrompt),
                              PromptIcon::Question, PromptButtons::YesNo) != PromptAnswer::Yes) {
            event->ignore();
            return;
        }
        if (!m_pDoc->SaveModified()) {
            event->ignore();
            return;
        }
    }
    StopTransferForExit();
    event->accept();
}

void CMainFrame::StopTransferForExit() {
    if (!m_settings.busy) return;
    hide();  // the wait below is the program's last: no window that stops answering
    m_session->CancelRunningTransfer();
    m_session->FlushPortBeforeExit();
}

void CMainFrame::EndForSignal() {
    m_bEnding = true;
    close();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        for (const QUrl& url : event->mimeData()->urls()) {
            if (url.isLocalFile()) {
                event->acceptProposedAction();
                return;
            }
        }
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    RestoreAndRaise();
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile()) continue;
        if (!OpenDocumentFile(url.toLocalFile()) && m_pDoc->IsModified()) break;  // the user kept the document
    }
    event->acceptProposedAction();
}

}  // namespace quorlin
