#pragma once
// The command number a QAction stands for (res/CommandIds.h).

#include <QAction>
#include <QVariant>

namespace quorlin {

inline constexpr const char* kCommandIdProperty = "quorlinCommandId";

inline void SetCommandId(QAction* action, int commandId) {
    action->setProperty(kCommandIdProperty, commandId);
}

// 0 for an action that stands for no command (a separator, a popup).
inline int CommandIdOf(const QAction* action) {
    const QVariant id = action ? action->property(kCommandIdProperty) : QVariant();
    return id.isValid() ? id.toInt() : 0;
}

}  // namespace quorlin
