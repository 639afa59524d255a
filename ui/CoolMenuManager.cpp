#include "ui/CoolMenuManager.h"

#include <QAction>
#include <QActionEvent>
#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStyleFactory>
#include <algorithm>

#include "res/CommandIds.h"
#include "ui/CommandAction.h"
#include "ui/CoolMenuStyle.h"
#include "ui/MenuItemRecord.h"
#include "ui/ToolbarStrip.h"

namespace quorlin {

namespace {

constexpr int kBoxMargin = 2;  // around a picture on every side: box = picture + 4

// A wrapper around the application's current style, made anew because a
// proxy owns what it wraps and the application's style is not ours to own.
QStyle* CopyOfApplicationStyle() {
    return QStyleFactory::create(QApplication::style()->name());  // nullptr: the platform's default
}

bool IsConvertible(const QAction* action) {
    if (action->menu()) return false;  // a submenu keeps the style's own look and arrow
    return CommandIdOf(action) < cmd::kFirstSystemCommand;
}

}  // namespace

CCoolMenuManager::CCoolMenuManager() = default;

CCoolMenuManager::~CCoolMenuManager() {
    TurnBackAll();
    for (const QPointer<QObject>& watched : m_tracked)
        if (watched) watched->removeEventFilter(this);
    Unhook();
}

void CCoolMenuManager::Install(QMainWindow* frame) {
    m_pFrame = frame;
    HookWindow(frame);
    // menuWidget, not menuBar: asking for the menu bar would make one.
    if (frame) TrackMenuBar(qobject_cast<QMenuBar*>(frame->menuWidget()));
}

void CCoolMenuManager::LoadToolbars(std::initializer_list<int> toolbarIds) {
    for (int id : toolbarIds) LoadToolbar(id);
}

bool CCoolMenuManager::LoadToolbar(int toolbarId) {
    const std::optional<ToolbarStrip> strip = LoadToolbarStrip(toolbarId);
    return strip && AddToolbar(toolbarId, *strip);
}

bool CCoolMenuManager::AddToolbar(int toolbarId, const ToolbarStrip& strip) {
    if (strip.pictureSize.isEmpty() || strip.pictures.isNull()) return false;
    if (m_pictureSize.isEmpty()) {
        m_pictureSize = strip.pictureSize;
        m_boxSize = m_pictureSize + QSize(2 * kBoxMargin, 2 * kBoxMargin);
    } else if (strip.pictureSize != m_pictureSize) {
        return false;
    }
    int next = int(m_pictures.size());
    for (int i = 0; i < strip.PictureCount(); ++i) m_pictures.push_back(strip.Picture(i));
    for (int id : strip.commandIds) {
        if (id == 0) continue;
        if (m_pictureOfCommand.value(id, -1) < 0) m_pictureOfCommand.insert(id, next);
        ++next;
    }
    m_toolbarIds.push_back(toolbarId);
    return true;
}

void CCoolMenuManager::Destroy() {
    m_pictures.clear();
    m_pictureOfCommand.clear();
    m_pictureSize = QSize();
    m_boxSize = QSize();
    m_toolbarIds.clear();
}

void CCoolMenuManager::Refresh() {
    const std::vector<int> ids = m_toolbarIds;
    Destroy();
    for (int id : ids) LoadToolbar(id);
    RenewStyle();
}

QIcon CCoolMenuManager::PictureAt(int index) const {
    return index >= 0 && index < int(m_pictures.size()) ? m_pictures[size_t(index)] : QIcon();
}

QStyle* CCoolMenuManager::MenuStyle() const { return m_pStyle.get(); }

bool CCoolMenuManager::IsConverted(const QMenu* menu) const {
    return std::any_of(m_converted.begin(), m_converted.end(),
                       [menu](const ConvertedPopup& popup) { return popup.menu == menu; });
}

int CCoolMenuManager::ConvertedCount() const {
    return int(std::count_if(m_converted.begin(), m_converted.end(),
                             [](const ConvertedPopup& popup) { return !popup.menu.isNull(); }));
}

void CCoolMenuManager::RenewStyle() {
    // The converted popups move to the new style before the old one goes.
    std::unique_ptr<CCoolMenuStyle> old = std::move(m_pStyle);
    m_pStyle = std::make_unique<CCoolMenuStyle>(*this, CopyOfApplicationStyle());
    for (const ConvertedPopup& popup : m_converted)
        if (popup.menu) popup.menu->setStyle(m_pStyle.get());
}

bool CCoolMenuManager::WindowProc(QEvent* event) {
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::StyleChange:
    case QEvent::ThemeChange:
    case QEvent::ScreenChangeInternal:
        Refresh();
        break;
    case QEvent::ChildAdded:
    case QEvent::ChildPolished:
        // A menu bar given to the frame after Install.
        if (auto* child = static_cast<QChildEvent*>(event)->child())
            if (auto* bar = qobject_cast<QMenuBar*>(child)) TrackMenuBar(bar);
        break;
    default:
        break;
    }
    return PassOn(event);
}

void CCoolMenuManager::TrackMenuBar(QMenuBar* bar) {
    if (!bar) return;
    if (std::find(m_tracked.begin(), m_tracked.end(), bar) == m_tracked.end()) {
        bar->installEventFilter(this);
        m_tracked.emplace_back(bar);
    }
    for (QAction* action : bar->actions()) TrackMenu(action->menu());
}

void CCoolMenuManager::TrackMenu(QMenu* menu) {
    if (!menu || std::find(m_tracked.begin(), m_tracked.end(), menu) != m_tracked.end()) return;
    m_tracked.erase(std::remove_if(m_tracked.begin(), m_tracked.end(), [](const QPointer<QObject>& p) { return p.isNull(); }),
                    m_tracked.end());
    m_tracked.emplace_back(menu);
    menu->installEventFilter(this);
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        if (m_bShowPictures) ConvertPopup(menu);
    });
}

bool CCoolMenuManager::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ActionAdded:
    case QEvent::ActionChanged:
        // A popup added to a tracked menu bar or menu.
        TrackMenu(static_cast<QActionEvent*>(event)->action()->menu());
        break;
    case QEvent::Hide:
        // The popup has closed (its command, if any, has not run yet).
        if (auto* menu = qobject_cast<QMenu*>(watched)) TurnBack(menu);
        break;
    case QEvent::KeyPress:
        if (auto* menu = qobject_cast<QMenu*>(watched); menu && IsConverted(menu))
            return OnMenuChar(menu, static_cast<QKeyEvent*>(event));
        break;
    default:
        break;
    }
    return false;
}

void CCoolMenuManager::ConvertPopup(QMenu* menu) {
    for (QAction* action : menu->actions()) {
        if (!IsConvertible(action)) {
            TrackMenu(action->menu());
            continue;
        }
        const QVariant existing = action->property(kMenuItemRecordProperty);
        if (existing.isValid()) continue;  // converted already, or someone else's: left alone
        CMenuItemRecord record;
        record.text = action->text();
        record.separator = action->isSeparator();
        record.pictureIndex = record.separator ? -1 : PictureIndexOf(CommandIdOf(action));
        action->setProperty(kMenuItemRecordProperty, QVariant::fromValue(record));
    }
    if (IsConverted(menu)) return;
    // Made on first need: the application and its style exist by then.
    if (!m_pStyle) RenewStyle();
    ConvertedPopup popup{menu, menu->testAttribute(Qt::WA_SetStyle) ? menu->style() : nullptr};
    m_converted.push_back(popup);
    menu->setStyle(m_pStyle.get());
}

void CCoolMenuManager::TurnBack(QMenu* menu) {
    CMenuItemRecord storage;
    for (QAction* action : menu->actions())
        if (MenuItemRecordOf(action, &storage)) action->setProperty(kMenuItemRecordProperty, QVariant());
    const auto it = std::find_if(m_converted.begin(), m_converted.end(),
                                 [menu](const ConvertedPopup& popup) { return popup.menu == menu; });
    if (it == m_converted.end()) return;
    menu->setStyle(it->previousStyle);
    m_converted.erase(it);
}

void CCoolMenuManager::TurnBackAll() {
    while (!m_converted.empty()) {
        ConvertedPopup popup = m_converted.back();
        if (popup.menu)
            TurnBack(popup.menu);
        else
            m_converted.pop_back();
    }
}

bool CCoolMenuManager::OnMenuChar(QMenu* menu, QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    const QString typed = event->text();
    if (typed.size() != 1 || !typed[0].isPrint()) return false;
    const QList<QAction*> actions = menu->actions();
    std::vector<QChar> mnemonics;
    mnemonics.reserve(size_t(actions.size()));
    int highlighted = -1;
    CMenuItemRecord storage;
    for (int pos = 0; pos < int(actions.size()); ++pos) {
        QAction* action = actions[pos];
        const CMenuItemRecord* record = MenuItemRecordOf(action, &storage);
        const bool candidate = record && !record->separator && action->isVisible();
        mnemonics.push_back(candidate ? MnemonicOf(record->text) : QChar());
        if (action == menu->activeAction()) highlighted = pos;
    }
    const MenuCharChoice choice = ChooseByMenuChar(mnemonics, highlighted, typed[0]);
    if (choice.kind == MenuCharChoice::kNone) return false;
    QAction* chosen = actions[choice.position];
    menu->setActiveAction(chosen);
    // A disabled command is shown, never run.
    if (choice.kind == MenuCharChoice::kExecute && chosen->isEnabled()) {
        // Enter on the highlighted item closes the menus and runs the command
        // the way a click would.
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(menu, &enter);
    }
    return true;
}

}  // namespace quorlin
