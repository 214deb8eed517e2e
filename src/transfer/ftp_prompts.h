#pragma once
// Everything the FTP window and its trees ask the user or sound: questions,
// beeps, the Move/Copy menu of a right-button drop, the editor's file dialog
// and the argument dialogs. One object per window; tests put in their own
// answers.
#include <QPoint>
#include <QString>
#include <optional>

class QWidget;

namespace netrove {

enum class DropChoice { Move, Copy, Cancel };

// What to do with a transfer's target that exists already.
enum class ExistingChoice { Resume, Overwrite, Skip };

class CFtpPrompts {
 public:
  virtual ~CFtpPrompts() = default;
  // Yes/No with No as the default.
  virtual bool askYesNo(QWidget* owner, const QString& text);
  // Resume / Overwrite / Skip for the target `name` that exists already
  // (`folder`: a folder whose files may exist). Skip is the default and the
  // answer to Escape: it changes nothing.
  virtual ExistingChoice askExisting(QWidget* owner, const QString& name, bool folder);
  // MessageBeep: a refused click or command.
  virtual void beep();
  // "Move Here", "Copy Here", "Cancel" at `global`.
  virtual DropChoice chooseDrop(QWidget* owner, const QPoint& global, bool copyEnabled);
  // "Select an Editor"; empty when cancelled.
  virtual QString chooseEditor(QWidget* owner);
  // The argument dialog titled `title`; nothing when cancelled.
  virtual std::optional<QString> askArgument(QWidget* owner, const QString& title);
  // "FTP Help Command"; nothing when cancelled.
  virtual std::optional<QString> askHelpKeyword(QWidget* owner);
  // A password, not echoed; nothing when cancelled.
  virtual std::optional<QString> askPassword(QWidget* owner, const QString& prompt);
};

}  // namespace netrove
