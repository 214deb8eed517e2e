#pragma once
// The small folder picker the newsreader's preferences and the FTP window use
// for their "Browse..." buttons: it shows folders only, starts in the given
// folder (creating it first if it does not exist yet, so a configured but
// never-used folder can still be browsed) and returns the chosen folder.
#include <QString>

class QFileDialog;
class QWidget;

namespace netrove {

class CDirDialog {
 public:
  CDirDialog(QString folder, QWidget* parent = nullptr);
  ~CDirDialog();
  CDirDialog(const CDirDialog&) = delete;
  CDirDialog& operator=(const CDirDialog&) = delete;

  // Runs the dialog; true when the user chose a folder, which folder() then
  // returns. On cancel folder() keeps the starting folder.
  bool DoModal();
  QString folder() const { return folder_; }

  // The dialog itself, so tests can drive it before DoModal returns.
  QFileDialog* dialog() const { return dialog_; }

 private:
  QString folder_;
  QFileDialog* dialog_;
};

}  // namespace netrove
