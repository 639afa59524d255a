#include "app/FrameRules.h"

#include <algorithm>
#include <array>

#include <QDir>

#include "res/CommandIds.h"
#include "res/StringTable.h"

namespace quorlin {

namespace {

const QString kNcFilter = QStringLiteral("*.nc (*.nc)");
const QString kBitmapFilter = QStringLiteral("*.bmp (*.bmp)");
// "*.*" in the program's filters means every file, names without a dot too.
const QString kEveryFileFilter = QStringLiteral("*.* (*)");
constexpr const char* kFontInitialName = "HZK";

}  // namespace

namespace {

// The menu item of a download. System software has a command of its own on
// the newer families (those whose pictures go in blocks), with its own text.
OperationItem DownloadItem(DownloadKind kind, bool newerFamily) {
    switch (kind) {
    case DownloadKind::Interface: return {cmd::kDownloadInterface, cmd::kDownloadInterface, kind};
    case DownloadKind::SoftwareP70: return {cmd::kUpdateP70, str::kUpdateP70, kind};
    case DownloadKind::SystemSoftware:
        return newerFamily ? OperationItem{cmd::kUpdate57Qva, str::kUpdate57Qva, kind}
                           : OperationItem{cmd::kUpdate57F, str::kUpdate57F, kind};
    case DownloadKind::InterfaceQva: return {cmd::kDownloadInterfaceQva, cmd::kDownloadInterface, kind};
    case DownloadKind::ChineseFont: return {cmd::kDownChnFont, str::kDownChnFont, kind};
    }
    return {};
}

}  // namespace

std::vector<OperationItem> OperationItemsFor(int sysType) {
    const ControllerFamily* family = FindFamily(sysType);
    if (!family) return {};
    const bool newerFamily = std::ranges::find(family->downloads, DownloadKind::InterfaceQva) != family->downloads.end();
    std::vector<OperationItem> items;
    for (DownloadKind kind : family->downloads) items.push_back(DownloadItem(kind, newerFamily));
    return items;
}

bool IsDisabledWhileBusy(int commandId) {
    static constexpr std::array kTransferCommands = {
        cmd::kSendFile,      cmd::kSendCurrentFile, cmd::kSendFromBlock,         cmd::kReceiveFile, cmd::kSettings,
        cmd::kDownloadInterface, cmd::kUpdateP70,   cmd::kUpdate57F,             cmd::kDownloadInterfaceQva,
        cmd::kUpdate57Qva,   cmd::kDownChnFont};
    return std::find(kTransferCommands.begin(), kTransferCommands.end(), commandId) != kTransferCommands.end();
}

SplitSizes InitialSplit(int clientHeight) {
    const int third = clientHeight / 3;
    return {2 * third, third};
}

namespace {
constexpr double kScreenShare = 2.0 / 3.0;
constexpr QSize kMinimumFirstSize(800, 600);
// Longer paths lose their middle in the File menu.
constexpr qsizetype kRecentTextChars = 60;
}  // namespace

QRect FirstWindowRect(const QRect& available, const QMargins& frame) {
    const QSize share(int(available.width() * kScreenShare), int(available.height() * kScreenShare));
    QRect rect(QPoint(0, 0), share.expandedTo(kMinimumFirstSize));
    rect.moveCenter(available.center());
    return FitToArea(rect, frame, available);
}

QRect FitToArea(const QRect& rect, const QMargins& frame, const QRect& available) {
    const QRect area = available.marginsRemoved(frame);
    const QSize size = rect.size().boundedTo(area.size()).expandedTo(QSize(1, 1));
    const int x = std::clamp(rect.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    const int y = std::clamp(rect.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    return QRect(QPoint(x, y), size);
}

QString RecentFileMenuText(int index, const QString& path) {
    QString shown = QDir::toNativeSeparators(path);
    if (shown.size() > kRecentTextChars) {
        const qsizetype keep = (kRecentTextChars - 3) / 2;
        shown = shown.left(keep) + QStringLiteral("...") + shown.right(keep);
    }
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}

FileDialogRequest FileDialogFor(int commandId) {
    FileDialogRequest request;
    switch (commandId) {
    case cmd::kSendFile:
        request.purpose = QStringLiteral("Send");
        request.title = str::LoadText(str::kSelectSendFile);
        request.filters = {kNcFilter, kEveryFileFilter};
        request.defaultSuffix = QStringLiteral("nc");
        break;
    case cmd::kReceiveFile:
        request.purpose = QStringLiteral("Receive");
        request.mode = FileDialogRequest::Mode::Save;
        request.filters = {kNcFilter, kEveryFileFilter};
        request.defaultSuffix = QStringLiteral("nc");
        break;
    case cmd::kDownloadInterface:
    case cmd::kDownloadInterfaceQva:
        request.purpose = QStringLiteral("Interface");
        request.title = str::LoadText(str::kSelectBitmap);
        request.filters = {kBitmapFilter, kEveryFileFilter};
        request.defaultSuffix = QStringLiteral("bmp");
        break;
    case cmd::kUpdate57F:
    case cmd::kUpdateP70:
    case cmd::kUpdate57Qva:
        request.purpose = QStringLiteral("Software");
        request.title = str::LoadText(str::kSelectSoftware);
        request.filters = {kEveryFileFilter};
        break;
    case cmd::kDownChnFont:
        request.purpose = QStringLiteral("Font");
        request.title = str::LoadText(str::kSelectBitmap);
        request.filters = {kEveryFileFilter};
        request.initialName = QString::fromLatin1(kFontInitialName);
        break;
    case cmd::kFileOpen:
        request.purpose = QStringLiteral("Document");
        request.title = str::LoadText(str::kOpenTitle);
        request.filters = {kNcFilter, str::LoadText(str::kAllFilesFilter).replace(QStringLiteral("(*.*)"),
                                                                                 QStringLiteral("(*)"))};
        request.defaultSuffix = QStringLiteral("nc");
        break;
    case cmd::kFileSaveAs:
        request.purpose = QStringLiteral("Document");
        request.mode = FileDialogRequest::Mode::Save;
        request.title = str::LoadText(str::kSaveAsTitle);
        request.filters = {kNcFilter};
        request.defaultSuffix = QStringLiteral("nc");
        break;
    case cmd::kCompareWithFile:
        request.title = str::LoadText(str::kCompareSelectFile);
        request.filters = {kNcFilter, kEveryFileFilter};
        break;
    default:
        break;
    }
    return request;
}

}  // namespace quorlin

namespace quorlin {

bool IsEditCommandEnabled(int commandId, const EditState& state) {
    switch (commandId) {
    case cmd::kEditUndo: return !state.readOnly && state.canUndo;
    case cmd::kEditCut: return !state.readOnly && state.hasSelection;
    case cmd::kEditCopy: return state.hasSelection;
    case cmd::kEditPaste: return !state.readOnly && state.canPaste;
    case cmd::kEditSelectAll:
    case cmd::kEditFind:
    case cmd::kEditFindNext:
    case cmd::kEditFindPrevious:
    case cmd::kEditReplace:
    case cmd::kEditGoTo: return state.hasText;
    case cmd::kRenumberBlocks:
    case cmd::kRemoveBlockNumbers:
    case cmd::kCompactBlocks:
    case cmd::kSpaceWords:
    case cmd::kRemoveComments: return !state.readOnly && state.hasText;
    default: return true;
    }
}

}  // namespace quorlin
