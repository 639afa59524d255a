#pragma once
// Everything a converter dialog asks of the person in front of it: message
// boxes, the file-open dialog and the folder chooser. The dialogs call these
// through one interface so that tests can answer in place of a person, and
// so that no modal window is opened from anywhere else.

#include <QString>
#include <optional>

#include "convert/ConvertMessages.h"

class QWidget;

namespace quorlin {

class ConverterPrompts {
public:
    virtual ~ConverterPrompts() = default;

    // A modal message box with the message's text, caption and icon.
    virtual void ShowMessage(QWidget* parent, const DialogMessage& message) = 0;
    // The file-open dialog of a source "..." button, starting in startFolder
    // (empty: the dialog's own choice); nothing when cancelled.
    virtual std::optional<QString> ChooseSourceFile(QWidget* parent, const QString& startFolder) = 0;
    // The folder chooser starting at start; nothing when cancelled.
    virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& title, const QString& start) = 0;
};

// The real windows: QMessageBox, QFileDialog and BrowseForFolder.
class DesktopConverterPrompts final : public ConverterPrompts {
public:
    void ShowMessage(QWidget* parent, const DialogMessage& message) override;
    std::optional<QString> ChooseSourceFile(QWidget* parent, const QString& startFolder) override;
    std::optional<QString> ChooseFolder(QWidget* parent, const QString& title, const QString& start) override;
};

// The source filter of the file-open dialog, one entry per pattern.
QStringList SourceFileFilters();

}  // namespace quorlin
