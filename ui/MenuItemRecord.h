#pragma once
// What a drawn menu item carries while its popup is open, and the rule that
// picks an item by its mnemonic.

#include <QChar>
#include <QMetaType>
#include <QString>
#include <QtGlobal>
#include <vector>

class QAction;

namespace quorlin {

struct CMenuItemRecord {
    // "mid0" in memory order: a record made by this code, not someone else's.
    static constexpr quint32 kSignature = quint32('m') | quint32('i') << 8 | quint32('d') << 16 | quint32('0') << 24;

    quint32 signature = kSignature;
    QString text;        // the item's text when it was converted, shortcut after a tab
    bool separator = false;
    int pictureIndex = -1;  // into the menu manager's pictures; -1 for none
};

// The action property that holds the record of a converted item.
inline constexpr const char* kMenuItemRecordProperty = "quorlinMenuItem";

// The record of a converted item, or nothing for a plain one.
const CMenuItemRecord* MenuItemRecordOf(const QAction* action, CMenuItemRecord* storage);

// The character after the single ampersand of a menu text ("&&" is a plain
// ampersand), or a null QChar when the text has no mnemonic.
QChar MnemonicOf(const QString& text);

// The menu-character rule. mnemonics holds, for each item in position order,
// its mnemonic (a null QChar for an item that takes no part); highlighted is
// the position of the highlighted item or -1.
struct MenuCharChoice {
    enum Kind { kNone, kExecute, kSelect } kind = kNone;
    int position = -1;
};
MenuCharChoice ChooseByMenuChar(const std::vector<QChar>& mnemonics, int highlighted, QChar key);

}  // namespace quorlin

Q_DECLARE_METATYPE(quorlin::CMenuItemRecord)
