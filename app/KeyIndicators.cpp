#include "app/KeyIndicators.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>

#include "app/X11Indicators.h"

namespace quorlin {

namespace {

struct Indicator {
    LockKey key;
    const char* text;
    const char* ledSuffix;  // the name of the keyboard light under /sys/class/leds
    const char* x11Name;    // the X server's name of the indicator
};

constexpr Indicator kIndicators[] = {
    {LockKey::Caps, "CAP", "::capslock", "Caps Lock"},
    {LockKey::Num, "NUM", "::numlock", "Num Lock"},
    {LockKey::Scroll, "SCRL", "::scrolllock", "Scroll Lock"},
};

constexpr const char* kLedFolder = "/sys/class/leds";

}  // namespace

bool IsLockOn(LockKey key) {
    const Indicator* which = nullptr;
    for (const Indicator& indicator : kIndicators)
        if (indicator.key == key) which = &indicator;
    if (!which) return false;
    // Under X11 the server's state is the session's; elsewhere the kernel's lights.
    if (const std::optional<bool> x11 = X11IndicatorState(which->x11Name)) return *x11;
    const char* suffix = which->ledSuffix;
    const QDir leds(QString::fromLatin1(kLedFolder));
    for (const QString& name : leds.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        if (!name.endsWith(QLatin1String(suffix))) continue;
        QFile brightness(leds.filePath(name + QStringLiteral("/brightness")));
        if (brightness.open(QIODevice::ReadOnly) && brightness.readAll().trimmed().toInt() > 0) return true;
    }
    return false;
}

KeyIndicators::KeyIndicators(QStatusBar* bar) : QObject(bar) {
    int index = 0;
    for (const Indicator& indicator : kIndicators) {
        auto* pane = new QLabel(QString::fromLatin1(indicator.text), bar);
        pane->setObjectName(QString::fromLatin1(indicator.text));
        pane->setAccessibleName(QString::fromLatin1(indicator.text));
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 8);
        bar->addPermanentWidget(pane);
        m_panes[index++] = pane;
    }
    qApp->installEventFilter(this);
    Refresh();
}

void KeyIndicators::Refresh() {
    for (size_t i = 0; i < std::size(kIndicators); ++i) m_panes[i]->setEnabled(IsLockOn(kIndicators[i].key));
}

bool KeyIndicators::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock) Refresh();
    } else if (event->type() == QEvent::ApplicationActivate) {
        Refresh();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace quorlin
