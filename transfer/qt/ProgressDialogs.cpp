#include "transfer/qt/ProgressDialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "transfer/qt/CommTexts.h"
#include "transfer/qt/DialogGeometry.h"
#include "ui/DialogPlacement.h"
#include "transfer/qt/TransferSession.h"

namespace quorlin {

namespace {

// Dialog 133, "Sending", in dialog units: the first six rows are the
// resource's; the rate line below the progress bar is this program's own.
constexpr int kSendingWidth = 211, kSendingHeight = 80;
constexpr DluRect kSendPort{7, 4, 36, 12};
constexpr DluRect kSendSystem{49, 4, 121, 12};
constexpr DluRect kSendBytesLabel{133, 4, 164, 12};
constexpr DluRect kSendByteCount{167, 4, 204, 12};
constexpr DluRect kSendPath{7, 18, 204, 48};
constexpr DluRect kSendProgress{7, 54, 165, 64};
constexpr DluRect kSendCancel{171, 51, 204, 64};
constexpr DluRect kSendRate{7, 68, 204, 76};

// Dialog 134, "Receiving".
constexpr int kReceivingWidth = 187, kReceivingHeight = 71;
constexpr DluRect kRecvPort{7, 4, 47, 12};
constexpr DluRect kRecvSystem{75, 7, 173, 15};
constexpr DluRect kRecvPath{7, 18, 180, 41};
constexpr DluRect kRecvBytesLabel{7, 44, 75, 52};
constexpr DluRect kRecvByteCount{80, 45, 129, 53};
constexpr DluRect kRecvCancel{147, 42, 180, 55};
constexpr DluRect kRecvStatus{7, 58, 180, 66};  // this program's own, as the sending dialog's

constexpr int kSecondsPerMinute = 60, kSecondsPerHour = 3600;

QString FormatDuration(int64_t seconds) {
    const QChar zero = QLatin1Char('0');
    if (seconds >= kSecondsPerHour)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / kSecondsPerHour)
            .arg(seconds % kSecondsPerHour / kSecondsPerMinute, 2, 10, zero)
            .arg(seconds % kSecondsPerMinute, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(seconds / kSecondsPerMinute).arg(seconds % kSecondsPerMinute, 2, 10, zero);
}

}  // namespace

// ---- CProgressDlg ----

CProgressDlg::CProgressDlg(TransferSession& session, const char* caption, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint),
      m_session(&session) {
    setWindowTitle(QString::fromLatin1(caption));
    setAccessibleName(windowTitle());
    setModal(false);
    connect(&session, &TransferSession::byteCountChanged, this, &CProgressDlg::SetByteCount);
    connect(&session, &TransferSession::progressDestroyed, this, &CProgressDlg::Dismiss);
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &CProgressDlg::Refresh);
    m_showLater.setSingleShot(true);
    connect(&m_showLater, &QTimer::timeout, this, &CProgressDlg::ShowPendingCount);
}

void CProgressDlg::SetInfo(const QString& portText, const QString& systemText, const QString& filePath) {
    m_strPortText = portText;
    m_strSystemText = systemText;
    m_strFilePath = filePath;
}

bool CProgressDlg::Create() {
    if (m_bCreated || m_bGone) return false;
    const DialogUnits units(font());
    const QSize size = BuildControls(units);
    if (size.isEmpty()) {
        Dismiss();
        return false;
    }
    m_bCreated = true;
    setFixedSize(size);
    CentreOnOwner();
    setWindowIcon(QApplication::windowIcon());
    if (m_pCancel) m_pCancel->setFocus();
    m_rate.Start(0, TransferRate::Clock::now());
    m_lastMove = TransferRate::Clock::now();
    m_refresh.start();
    return true;
}

void CProgressDlg::CentreOnOwner() {
    if (QWidget* owner = parentWidget()) move(CentredTopLeft(owner->window()->frameGeometry(), frameGeometry().size()));
}

// The window system adds its frame only when the window first appears; the
// dialog is centred again then, with the frame's size.
void CProgressDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_bShownOnce) return;
    m_bShownOnce = true;
    CentreOnOwner();
}

QLabel* CProgressDlg::AddLabel(const QString& text, const QRect& rect, Qt::Alignment align) {
    auto* label = new QLabel(text, this);
    label->setGeometry(rect);
    label->setAlignment(align | Qt::AlignTop);
    // Reachable by Tab, so that a screen reader can read each field.
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFocusPolicy(Qt::TabFocus);
    label->setAccessibleName(text);
    return label;
}

QPlainTextEdit* CProgressDlg::AddPathBox(const QRect& rect, bool scrollsVertically) {
    auto* box = new QPlainTextEdit(m_strFilePath, this);
    box->setGeometry(rect);
    box->setReadOnly(true);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setFocusPolicy(Qt::TabFocus);
    box->setTabChangesFocus(true);
    box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    box->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setVerticalScrollBarPolicy(scrollsVertically ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    box->setAccessibleName(m_strFilePath.isEmpty() ? QString::fromLatin1(texts::kPathAccessibleName) : m_strFilePath);
    return box;
}

QPushButton* CProgressDlg::AddCancel(const QRect& rect) {
    m_pCancel = new QPushButton(QString::fromLatin1(texts::kCancelButton), this);
    m_pCancel->setGeometry(rect);
    m_pCancel->setAccessibleName(QString::fromLatin1(texts::kCancelButton));
    connect(m_pCancel, &QPushButton::clicked, this, &CProgressDlg::OnCancel);
    return m_pCancel;
}

QLabel* CProgressDlg::AddStatus(const QRect& rect) {
    m_pStatus = AddLabel(QString::fromLatin1(texts::kRateUnknown), rect);
    return m_pStatus;
}

void CProgressDlg::SetByteCount(uint64_t count) {
    m_nPosition = count;
    ScheduleShow();
}

// Drawing the count and the bar for every read (a selectable label lays out
// a whole text document each time) took most of a core on a fast line.
void CProgressDlg::ScheduleShow() {
    if (m_showLater.isActive()) return;
    const qint64 since = m_sinceShown.isValid() ? m_sinceShown.elapsed() : kShowIntervalMs;
    if (since >= kShowIntervalMs)
        ShowPendingCount();
    else
        m_showLater.start(static_cast<int>(kShowIntervalMs - since));
}

void CProgressDlg::ShowPendingCount() {
    m_showLater.stop();
    m_sinceShown.start();
    ShowPosition();
    if (!m_wndByteCount) return;
    const QString text = QString::number(m_nPosition);  // "%d": no grouping
    if (text == m_wndByteCount->text()) return;
    m_wndByteCount->setText(text);
    m_wndByteCount->setAccessibleName(text);
}

void CProgressDlg::reject() { OnCancel(); }

void CProgressDlg::closeEvent(QCloseEvent* event) {
    OnCancel();
    event->accept();
}

void CProgressDlg::OnCancel() {
    if (m_bGone) return;
    // The session's handler ends the transfer before the window goes, so no
    // later port message finds the transfer running.
    if (m_session) NotifyCancel(*m_session);
    Dismiss();
}

// The line's activity, not the count, tells whether the transfer moves: a
// send hands the port whole blocks that the line then drains for seconds.
// What the line carried is the count less what the port still holds.
void CProgressDlg::Refresh() {
    if (!m_session || !m_pStatus) return;
    TransferEngine& engine = m_session->Engine();
    const TransferEngine::Wait wait = engine.WaitingFor();
    if (wait == TransferEngine::Wait::Nothing) return;
    const auto now = TransferRate::Clock::now();
    const TransferEngine::Activity activity = engine.LineActivity();
    if (activity != m_lastActivity) {
        m_lastActivity = activity;
        m_lastMove = now;
    }
    m_rate.SetLineLimit(engine.LineBytesPerSecond());
    const uint64_t held = m_bCountsOutput ? activity.outputWaiting : 0;
    m_rate.Note(m_nPosition > held ? m_nPosition - held : 0, now);
    const QString text = StatusText(wait, now - m_lastMove, held > 0);
    if (text == m_pStatus->text()) return;
    m_pStatus->setText(text);
    m_pStatus->setAccessibleName(text);
}

QString CProgressDlg::StatusText(TransferEngine::Wait wait, TransferRate::Clock::duration still,
                                 bool outputWaiting) const {
    using Wait = TransferEngine::Wait;
    if (still >= kStallAfter) {
        const char* format = texts::kNoDataFormat;
        switch (wait) {
            case Wait::XoffHeld: format = texts::kWaitXoffFormat; break;
            case Wait::ControllerDc1: format = texts::kWaitDc1Format; break;
            case Wait::BlockAnswer: format = texts::kWaitBlockAnswerFormat; break;
            case Wait::CharacterAnswer: format = texts::kWaitCharAnswerFormat; break;
            // A send whose bytes the port still holds: the line takes nothing
            // (a pseudo-terminal takes its bytes in bursts and tells nothing between).
            default:
                if (outputWaiting) format = texts::kWaitLineFormat;
                break;
        }
        return QString::fromLatin1(format).arg(
            FormatDuration(std::chrono::duration_cast<std::chrono::seconds>(still).count()));
    }
    const auto rate = m_rate.BytesPerSecond();
    if (!rate) return QString::fromLatin1(texts::kRateUnknown);
    const qint64 shown = static_cast<qint64>(*rate + 0.5);
    const auto left = m_rate.SecondsLeft();
    if (left && m_rate.IsSteady())
        return QString::fromLatin1(texts::kRateFormat).arg(shown).arg(FormatDuration(*left));
    return QString::fromLatin1(texts::kRateOnlyFormat).arg(shown);
}

void CProgressDlg::Dismiss() {
    if (m_bGone) return;
    m_bGone = true;
    m_refresh.stop();
    m_showLater.stop();
    if (m_session) disconnect(m_session, nullptr, this, nullptr);
    hide();
    deleteLater();
}

// ---- CSendingDlg ----

CSendingDlg::CSendingDlg(TransferSession& session, QWidget* owner)
    : CProgressDlg(session, texts::kSendingCaption, owner) {
    m_bCountsOutput = true;
    connect(&session, &TransferSession::progressRangeChanged, this, &CSendingDlg::SetRange);
    connect(&session, &TransferSession::progressPosChanged, this, &CSendingDlg::SetPos);
}

QSize CSendingDlg::BuildControls(const DialogUnits& units) {
    AddLabel(m_strPortText, units.Rect(kSendPort));
    AddLabel(m_strSystemText, units.Rect(kSendSystem));
    AddLabel(QString::fromLatin1(texts::kBytesLabel), units.Rect(kSendBytesLabel));
    m_wndByteCount = AddLabel(QString(), units.Rect(kSendByteCount), Qt::AlignRight);
    AddPathBox(units.Rect(kSendPath), false);
    m_progress = new QProgressBar(this);
    m_progress->setGeometry(units.Rect(kSendProgress));
    m_progress->setRange(0, 0);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setFocusPolicy(Qt::TabFocus);
    m_progress->setAccessibleName(QString::fromLatin1(texts::kProgressAccessibleName));
    AddCancel(units.Rect(kSendCancel));
    AddStatus(units.Rect(kSendRate));
    return units.Size(kSendingWidth, kSendingHeight);
}

void CSendingDlg::SetRange(uint64_t total) {
    m_scale = ProgressScale(total);
    m_nBarPos = 0;
    m_rate.Start(total, TransferRate::Clock::now());
    if (!m_progress) return;
    m_progress->setRange(0, m_scale.Maximum());
    m_progress->setValue(0);
}

void CSendingDlg::SetPos(uint64_t position) {
    m_nBarPos = position;
    ScheduleShow();
}

void CSendingDlg::ShowPosition() {
    if (m_progress) m_progress->setValue(m_scale.Value(m_nBarPos));
}

void CSendingDlg::NotifyCancel(TransferSession& session) { session.OnSendDlgCancel(); }

// ---- CReceivingDlg ----

CReceivingDlg::CReceivingDlg(TransferSession& session, QWidget* owner)
    : CProgressDlg(session, texts::kReceivingCaption, owner) {}

QSize CReceivingDlg::BuildControls(const DialogUnits& units) {
    AddLabel(m_strPortText, units.Rect(kRecvPort));
    AddLabel(m_strSystemText, units.Rect(kRecvSystem), Qt::AlignRight);
    AddPathBox(units.Rect(kRecvPath), true);
    AddLabel(QString::fromLatin1(texts::kBytesLabel), units.Rect(kRecvBytesLabel));
    m_wndByteCount = AddLabel(QString(), units.Rect(kRecvByteCount));
    AddCancel(units.Rect(kRecvCancel));
    AddStatus(units.Rect(kRecvStatus));
    return units.Size(kReceivingWidth, kReceivingHeight);
}

void CReceivingDlg::NotifyCancel(TransferSession& session) { session.OnReceiveDlgCancel(); }

}  // namespace quorlin
