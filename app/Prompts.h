#pragma once
// Everything the application asks of the person at the machine: message
// boxes and file dialogs. The windows reach them only through this
// interface, so that tests can answer them without a modal loop.

#include <QString>

#include "app/FrameRules.h"

class QWidget;

namespace quorlin {

enum class PromptIcon { Error, Information, Question, Exclamation };
enum class PromptButtons { Ok, OkCancel, YesNoCancel, YesNo };
enum class PromptAnswer { Ok, Cancel, Yes, No };

class IPrompts {
public:
    virtual ~IPrompts() = default;

    virtual PromptAnswer Message(QWidget* parent, const QString& text, const QString& caption, PromptIcon icon,
                                 PromptButtons buttons = PromptButtons::Ok) = 0;
    // The chosen path, empty when the dialog was cancelled.
    virtual QString FilePath(QWidget* parent, const FileDialogRequest& request) = 0;
};

// The real message boxes and file dialogs, modal on parent.
class WidgetPrompts final : public IPrompts {
public:
    PromptAnswer Message(QWidget* parent, const QString& text, const QString& caption, PromptIcon icon,
                         PromptButtons buttons) override;
    QString FilePath(QWidget* parent, const FileDialogRequest& request) override;
};

// Runs request's file dialog starting in the folder last chosen for its
// purpose, and remembers the folder of the path chosen; the path, empty
// when cancelled.
QString AskForFile(IPrompts& prompts, QWidget* parent, FileDialogRequest request);

}  // namespace quorlin
