#pragma once
// The folder the Batch convert dialog's "Default" button chooses: where a
// controller's memory card shows up. On Windows that is drive F:. Elsewhere
// it is the first removable medium mounted for the user, under
// /media/$USER or /run/media/$USER, else the home folder.

#include <QString>
#include <QStringList>
#include <functional>

namespace quorlin {

// The default folder, ending in the platform's separator.
QString DefaultBatchFolder();

// The same choice from given places, for tests: the first folder (by name)
// inside the first of mediaRoots that holds one for which isMountPoint is
// true, else home; with the separator appended.
QString DefaultBatchFolder(const QStringList& mediaRoots, const QString& home,
                           const std::function<bool(const QString&)>& isMountPoint);

}  // namespace quorlin
