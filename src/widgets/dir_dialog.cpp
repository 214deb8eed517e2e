#include "widgets/dir_dialog.h"

#include <QDir>
#include <QFileDialog>

namespace netrove {

CDirDialog::CDirDialog(QString folder, QWidget* parent)
    : folder_(std::move(folder)), dialog_(new QFileDialog(parent)) {
  if (!folder_.isEmpty() && !QDir(folder_).exists()) QDir().mkpath(folder_);
  dialog_->setWindowTitle(QStringLiteral("Select a folder"));
  dialog_->setFileMode(QFileDialog::Directory);
  // Qt's own dialog: the same on every desktop and drivable offscreen.
  dialog_->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  dialog_->setDirectory(folder_);
}

CDirDialog::~CDirDialog() { delete dialog_; }

bool CDirDialog::DoModal() {
  if (dialog_->exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog_->selectedFiles();
  folder_ = chosen.isEmpty() ? dialog_->directory().absolutePath() : chosen.first();
  return true;
}

}  // namespace netrove
