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

#include "app/BlockNumbers.h"
#include "app/CaretIndicator.h"
#include "app/CommProp.h"
#include "app/CompareWindow.h"
#include "app/EditorToolSettings.h"
#include "app/FindReplace.h"
#include "app/GoToDlg.h"
#include "app/KeyIndicators.h"
#include "profile/MachineProfiles.h"
#include "transfer/PortChoice.h"
#include "app/NcText.h"
#include "app/NcToolEdit.h"
#include "app/Prompts.h"
#include "app/QuorlinDoc.h"
#include "app/QuorlinView.h"
#include "profile/RememberedState.h"
#include "app/RenumberDlg.h"
#include "app/SendFromDlg.h"
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

// The window frame's margins before the window system tells them: a title
// bar and thin borders, so that a first or restored window fits with them.
constexpr QMargins kFrameAllowance(4, 32, 4, 4);
constexpr QSize kNoScreenSize(800, 600);
constexpr int kMainToolbarId = 128;
constexpr int kMenuPicturesToolbarId = 138;
// How long a search's note stays on the status bar.
constexpr int kStatusNoteMs = 10000;

QString Plain(QString text) {
    text.remove(QLatin1Char('&'));
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    return tab < 0 ? text : text.left(tab);
}

}  // namespace

CMainFrame::CMainFrame(IPrompts& prompts, QWidget* parent) : QMainWindow(parent), m_prompts(prompts) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(res::AppIcon());

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
    connect(m_pEditor, &QPlainTextEdit::modificationChanged, this, &CMainFrame::UpdateCaption);
    connect(m_pFindReplace, &CFindReplace::statusMessage, this, [this](const QString& text) {
        if (text.isEmpty()) statusBar()->clearMessage();
        else statusBar()->showMessage(text, kStatusNoteMs);
    });
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

    m_recentFiles = ReadRecentFiles();
    RebuildRecentMenu();
    connect(m_pDoc, &CQuorlinDoc::titleChanged, this, [this] {
        if (!m_pDoc->PathName().isEmpty()) AddRecentFile(m_pDoc->PathName());
    });
    connect(m_popups.at(res::kFilePopup), &QMenu::aboutToShow, this, &CMainFrame::RefreshRecentStates);

    PlaceWindow();
    LoadCommSettings();
    UpdateCaption();
    UpdateCommandStates();
}

CMainFrame::~CMainFrame() {
    // The views refer to the session: they go first, and nothing that fires
    // while they go (a focus change, the clipboard) may reach for them.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    m_pEditor->disconnect(m_pCaret);
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
    // Keys without a menu item: F6 and Shift+F6 move between the panes,
    // Shift+F3 searches backwards.
    for (int commandId : {cmd::kNextPane, cmd::kPrevPane, cmd::kEditFindPrevious})
        addAction(MakeCommand(commandId, {}, this));
    // The recent-file entries, shown in the File menu as many as there are.
    for (int i = 0; i < cmd::kRecentFileCount; ++i) {
        QAction* entry = MakeCommand(cmd::kFileRecentFirst + i, {}, this);
        entry->setStatusTip(str::LoadText(str::kRecentFilePrompt));
    }
    m_pRecentSeparator = new QAction(this);
    m_pRecentSeparator->setSeparator(true);
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
    m_pCaret = new CaretIndicator(*m_pEditor, bar);
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

void CMainFrame::LoadCommSettings() {
    const StoredSettings stored = ReadProfile();
    m_settings.TakeStored(stored.commPort, stored.sysType, stored.baudRate);
    RebuildOperationMenu();
    // The chosen port is offered even when the probe cannot open it (another
    // program holds it): the transfer then says so, rather than going to
    // whichever machine has moved into its place in the list.
    const unsigned chosen = ReadChosenPortNumber();
    m_settings.portList = OfferedPorts(ProbePortList(), {chosen});
    m_settings.commPort = SettledCommPort(m_settings.portList, stored.commPort, chosen);
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
    m_settings.TakeStored(chosen.commPort, chosen.sysType, chosen.baudRate);
    m_session->OpenPort();
    RebuildOperationMenu();
}

void CMainFrame::UpdateCaption() {
    if (!m_pEditor) return;  // the window is going
    // A changed document is marked with '*' after its name until it is saved.
    const QString mark = m_pDoc->IsModified() ? QStringLiteral("*") : QString();
    setWindowTitle(str::LoadText(str::kAppTitle) + QStringLiteral(" - ") + m_pDoc->Title() + mark);
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
    const bool busy = m_session->IsBusy();
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
        case cmd::kEditFindPrevious:
        case cmd::kEditReplace:
        case cmd::kEditGoTo:
        case cmd::kRenumberBlocks:
        case cmd::kRemoveBlockNumbers:
        case cmd::kCompactBlocks:
        case cmd::kSpaceWords:
        case cmd::kRemoveComments: enabled = IsEditCommandEnabled(commandId, editorState); break;
        default:
            if (IsRecentFileCommand(commandId)) {
                const size_t index = static_cast<size_t>(commandId - cmd::kFileRecentFirst);
                enabled = index < m_recentExists.size() && m_recentExists[index];
            }
            break;
        }
        action->setEnabled(enabled);
    }
    m_actions[cmd::kViewToolbar]->setChecked(m_pToolBar && !m_pToolBar->isHidden());
    m_actions[cmd::kViewStatusBar]->setChecked(!statusBar()->isHidden());
}

void CMainFrame::OnCommand(int commandId) {
    // A key may still reach a command that a transfer has just disabled.
    if (m_session->IsBusy() && IsDisabledWhileBusy(commandId)) return;
    auto* pane = static_cast<QPlainTextEdit*>(ActivePane());
    if (commandId == cmd::kSendFile || commandId == cmd::kSendCurrentFile || commandId == cmd::kSendFromBlock ||
        commandId == cmd::kReceiveFile ||
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
    case cmd::kEditFindPrevious: m_pFindReplace->OnEditFindPrevious(); break;
    case cmd::kEditGoTo: OnGoTo(); break;
    case cmd::kViewToolbar: m_pToolBar->setVisible(m_pToolBar->isHidden()); break;
    case cmd::kViewStatusBar: statusBar()->setVisible(statusBar()->isHidden()); break;
    case cmd::kNextPane: OnNextPane(true); break;
    case cmd::kPrevPane: OnNextPane(false); break;
    case cmd::kSendFile: OnSendFile(); break;
    case cmd::kSendCurrentFile: OnSendCurrentFile(); break;
    case cmd::kSendFromBlock: OnSendFromBlock(); break;
    case cmd::kReceiveFile: OnReceiveFile(); break;
    case cmd::kSettings: OnSettings(); break;
    case cmd::kConvert: (new CConvertDlg(this))->show(); break;
    case cmd::kBatchConvert: (new CBatchConvertDlg(this))->show(); break;
    case cmd::kRenumberBlocks:
    case cmd::kRemoveBlockNumbers:
    case cmd::kCompactBlocks:
    case cmd::kSpaceWords:
    case cmd::kRemoveComments: OnNcTool(commandId); break;
    case cmd::kCompareWithFile: OnCompareWithFile(); break;
    case cmd::kAppAbout: {
        CAboutDlg dlg(this);
        dlg.exec();
        break;
    }
    default:
        if (m_downloadKinds.count(commandId)) OnDownload(commandId);
        else if (IsRecentFileCommand(commandId)) OnRecentFile(commandId - cmd::kFileRecentFirst);
        break;
    }
    UpdateCommandStates();
}

void CMainFrame::OnSendFile() {
    const QString path = AskForFile(m_prompts, this, FileDialogFor(cmd::kSendFile));
    if (!path.isEmpty()) m_session->SendFile(path);
}

void CMainFrame::OnSendCurrentFile() {
    if (m_prompts.Message(this, str::LoadText(str::kSendCurrentQuestion), str::LoadText(str::kCaptionPrompt),
                          PromptIcon::Information, PromptButtons::OkCancel) != PromptAnswer::Ok)
        return;
    if (const std::optional<QByteArray> text = DocumentTextForSending())
        m_session->SendCurrentFile(*text, m_pDoc->PathName());
}

void CMainFrame::OnSendFromBlock() {
    const std::optional<QByteArray> text = DocumentTextForSending();
    if (!text) return;
    CSendFromDlg dialog(*text, m_pEditor->textCursor().blockNumber(), this);
    if (dialog.exec() != QDialog::Accepted || dialog.Resume().Refused()) return;
    const nc::ResumeText& resume = dialog.Resume();
    m_session->SendFrom(QByteArray::fromStdString(resume.text), m_pDoc->PathName(), resume.blockWord, resume.line);
}

std::optional<QByteArray> CMainFrame::DocumentTextForSending() {
    int badLine = 0;
    std::optional<QByteArray> text = TextForSending(m_pEditor->Text(), &badLine);
    if (!text) {
        // Refused as Save refuses it, rather than sent with its characters
        // turned into something else.
        m_prompts.Message(this, str::LoadText(str::kNotSentNotSingleByte).arg(badLine),
                          str::LoadText(str::kCaptionError), PromptIcon::Error);
    }
    return text;
}

void CMainFrame::OnReceiveFile() {
    const QString path = AskForFile(m_prompts, this, FileDialogFor(cmd::kReceiveFile));
    if (!path.isEmpty()) m_session->ReceiveFile(path);
}

void CMainFrame::OnDownload(int commandId) {
    const DownloadKind kind = m_downloadKinds.at(commandId);
    const QString path = AskForFile(m_prompts, this, FileDialogFor(commandId));
    if (!path.isEmpty()) m_session->DownloadFile(path, kind);
}

void CMainFrame::OnSettings() {
    // The list shows the ports there are now: an adapter plugged in since
    // start-up is offered. Cancel keeps the list the stored choice refers to.
    // The port in use does not open a second time, so the probe leaves it
    // out: it is offered all the same and shown chosen. With none in use,
    // the stored place stands, as the next transfer's own probe takes it.
    const unsigned inUse = m_settings.GetPortNumber();
    CommSettings shown = m_settings;
    shown.portList = OfferedPorts(ProbePortList(), {inUse});
    CSettingsSheet sheet(shown, this);
    CCommProp& page = sheet.Page();
    page.commPort = inUse != 0 ? PlaceOfPort(shown.portList, inUse) : m_settings.commPort;
    page.sysType = m_settings.sysType;
    page.baudRate = m_settings.baudRate;
    page.SetMachines(ReadMachineProfiles().machines);
    if (sheet.exec() != QDialog::Accepted) return;
    m_settings.portList = shown.portList;
    ApplySettings({page.commPort, page.sysType, page.baudRate});
    if (!sheet.Stored())
        m_prompts.Message(this, str::LoadText(str::kProfileNotStored).arg(QDir::toNativeSeparators(ProfileLocation())),
                          str::LoadText(str::kCaptionError), PromptIcon::Error);
}

bool CMainFrame::IsRecentFileCommand(int commandId) {
    return commandId >= cmd::kFileRecentFirst && commandId < cmd::kFileRecentFirst + cmd::kRecentFileCount;
}

void CMainFrame::AddRecentFile(const QString& path) {
    const QStringList updated = WithRecentFile(m_recentFiles, path);
    if (updated == m_recentFiles) return;
    m_recentFiles = updated;
    WriteRecentFiles(m_recentFiles);
    RebuildRecentMenu();
}

void CMainFrame::RebuildRecentMenu() {
    QMenu* file = m_popups.at(res::kFilePopup);
    file->removeAction(m_pRecentSeparator);
    for (int i = 0; i < cmd::kRecentFileCount; ++i) file->removeAction(m_actions.at(cmd::kFileRecentFirst + i));
    // Between Save As's separator and Exit, closed by a separator of their own.
    QAction* exit = m_actions.at(cmd::kAppExit);
    for (qsizetype i = 0; i < m_recentFiles.size(); ++i) {
        QAction* entry = m_actions.at(cmd::kFileRecentFirst + static_cast<int>(i));
        entry->setText(RecentFileMenuText(static_cast<int>(i), m_recentFiles[i]));
        entry->setToolTip(QDir::toNativeSeparators(m_recentFiles[i]));
        file->insertAction(exit, entry);
    }
    if (!m_recentFiles.isEmpty()) file->insertAction(exit, m_pRecentSeparator);
    RefreshRecentStates();
}

void CMainFrame::RefreshRecentStates() {
    m_recentExists.clear();
    for (const QString& path : m_recentFiles) m_recentExists.push_back(QFileInfo::exists(path));
    UpdateCommandStates();
}

void CMainFrame::OnRecentFile(int index) {
    const QString path = m_recentFiles.value(index);
    if (path.isEmpty() || !m_pDoc->SaveModified()) return;
    if (m_pDoc->OpenDocument(path)) return;
    // It failed and said why: it goes from the list.
    m_recentFiles.removeAll(path);
    WriteRecentFiles(m_recentFiles);
    RebuildRecentMenu();
}

void CMainFrame::PlaceWindow() {
    const std::optional<WindowPlacement> stored = ReadWindowPlacement();
    QScreen* screen = stored ? QGuiApplication::screenAt(stored->normal.center()) : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), kNoScreenSize);
    if (!stored) {
        setGeometry(FirstWindowRect(available, kFrameAllowance));
        return;
    }
    setGeometry(FitToArea(stored->normal, kFrameAllowance, available));
    m_storedSplit = stored->split;
    if (stored->maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void CMainFrame::KeepOnScreen() {
    if (isMaximized() || isFullScreen() || isMinimized()) return;
    const QScreen* where = screen();
    if (!where) return;
    const QRect available = where->availableGeometry();
    const QRect outer = frameGeometry();
    if (available.contains(outer)) return;
    const QRect inner = geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    setGeometry(FitToArea(inner, frame, available));
}

void CMainFrame::SavePlacement() const {
    WindowPlacement placement;
    placement.maximized = isMaximized();
    placement.normal = (isMaximized() || isMinimized()) && normalGeometry().isValid() ? normalGeometry() : geometry();
    placement.split = m_pSplitter->sizes();
    WriteWindowPlacement(placement);
}

void CMainFrame::OnGoTo() {
    CGoToDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    const std::optional<GoToTarget> target = dialog.Target();
    if (!target) return;
    QTextDocument& text = *m_pEditor->document();
    int line = -1;
    QString failure;
    if (target->block) {
        line = FindBlockLine(text, target->number, m_pEditor->textCursor().blockNumber());
        if (line < 0) failure = str::LoadText(str::kGoToNoBlock).arg(QStringLiteral("N%1").arg(target->number));
    } else if (target->number <= text.blockCount()) {
        line = static_cast<int>(target->number - 1);
    } else {
        failure = str::LoadText(str::kGoToNoLine).arg(target->number).arg(text.blockCount());
    }
    if (line < 0) {
        m_prompts.Message(this, failure, str::LoadText(str::kCaptionPrompt), PromptIcon::Information);
        return;
    }
    m_pEditor->GoToLine(line);
    m_pEditor->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::OnNextPane(bool forward) {
    Q_UNUSED(forward);  // two panes: next and previous are the same one
    if (m_pEditor->hasFocus()) m_pCommView->setFocus(Qt::OtherFocusReason);
    else m_pEditor->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::OnNcTool(int commandId) {
    NcTextEdit edit;
    int jumpBlocks = 0;
    nc::RenumberResult renumbered;
    int width = 0;
    switch (commandId) {
    case cmd::kRenumberBlocks: {
        CRenumberDlg dlg(ReadRenumberOptions(), this);
        if (dlg.exec() != QDialog::Accepted) return;
        const nc::RenumberOptions options = dlg.Options();
        WriteRenumberOptions(options);
        width = options.width;
        edit = [options, &jumpBlocks, &renumbered](std::string_view text) {
            renumbered = nc::Renumber(text, options);
            jumpBlocks = renumbered.jumpBlocks;
            return std::move(renumbered.text);
        };
        break;
    }
    case cmd::kRemoveBlockNumbers: edit = nc::RemoveBlockNumbers; break;
    case cmd::kCompactBlocks: edit = nc::Compact; break;
    case cmd::kSpaceWords: edit = nc::SpaceWords; break;
    default: edit = nc::RemoveComments; break;
    }
    int badLine = 0;
    const NcEditOutcome outcome = ApplyNcEdit(*m_pEditor, edit, &badLine);
    // Numbers no control holds leave the program as it was: say why, rather
    // than "nothing to change".
    if (renumbered.TooLarge()) {
        m_prompts.Message(this,
                          str::LoadText(str::kRenumberTooLarge)
                              .arg(qlonglong(renumbered.lastNumber))
                              .arg(qlonglong(nc::kMaxBlockNumber)),
                          str::LoadText(str::kCaptionError), PromptIcon::Error);
        return;
    }
    switch (outcome) {
    case NcEditOutcome::Changed:
        if (renumbered.firstWider >= 0)
            m_prompts.Message(this,
                              str::LoadText(str::kRenumberOutgrowsWidth)
                                  .arg(width)
                                  .arg(qlonglong(renumbered.firstWider))
                                  .arg(qlonglong(renumbered.lastNumber)),
                              str::LoadText(str::kCaptionPrompt), PromptIcon::Exclamation);
        if (jumpBlocks > 0)
            m_prompts.Message(this, str::LoadText(str::kRenumberJumps).arg(jumpBlocks),
                              str::LoadText(str::kCaptionPrompt), PromptIcon::Exclamation);
        break;
    case NcEditOutcome::Unchanged: statusBar()->showMessage(str::LoadText(str::kNcToolNoChange), 5000); break;
    case NcEditOutcome::NotSingleByte:
        m_prompts.Message(this, str::LoadText(str::kWhyNotSingleByte).arg(badLine), str::LoadText(str::kCaptionError),
                          PromptIcon::Error);
        break;
    }
}

void CMainFrame::OnCompareWithFile() {
    const QString path = m_prompts.FilePath(this, FileDialogFor(cmd::kCompareWithFile));
    if (path.isEmpty()) return;
    QByteArray bytes;
    const FileResult result = LoadNcFile(path, bytes);
    if (!result.ok()) {
        m_prompts.Message(this, CQuorlinDoc::OpenFailureText(path, result), str::LoadText(str::kCaptionError),
                          PromptIcon::Error);
        return;
    }
    // The comparison is of bytes: a character no file can hold compares as '?'.
    const QByteArray program = m_pEditor->Text().toLatin1();
    auto* window = new CCompareWindow(m_pDoc->Title(), program.toStdString(), QFileInfo(path).fileName(),
                                      bytes.toStdString(), this);
    window->show();
}

void CMainFrame::InitialUpdate() {
    if (m_session->IsBusy()) return;  // reopening the port would break the running transfer
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
        if (m_storedSplit.size() == 2) {
            m_pSplitter->setSizes(m_storedSplit);
        } else {
            const SplitSizes sizes = InitialSplit(m_pSplitter->height());
            m_pSplitter->setSizes({sizes.editor, sizes.log});
        }
        // The window frame is known once the window is up.
        QMetaObject::invokeMethod(this, &CMainFrame::KeepOnScreen, Qt::QueuedConnection);
        // Paste's state for the toolbar, once the window is up.
        QMetaObject::invokeMethod(this, &CMainFrame::RefreshClipboardState, Qt::QueuedConnection);
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_bEnding) {
        // The document first: its Cancel must leave everything as it was,
        // and the transfer stops only once the person agreed to both.
        if (!m_pDoc->SaveModified()) {
            event->ignore();
            return;
        }
        // Leaving would cut the controller off in the middle of a program.
        // The transfer may have ended while the save question was up.
        if (m_session->IsBusy() &&
            m_prompts.Message(this, str::LoadText(str::kStopTransferQuestion), str::LoadText(str::kCaptionPrompt),
                              PromptIcon::Question, PromptButtons::YesNo) != PromptAnswer::Yes) {
            event->ignore();
            return;
        }
    }
    SavePlacement();
    StopTransferForExit();
    event->accept();
}

void CMainFrame::StopTransferForExit() {
    if (!m_session->IsBusy()) return;
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
