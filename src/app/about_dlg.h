#pragma once
// The About box: the maker, its address and contact line, the product and
// its version, the legal notice and the legal warning.
#include <QDialog>

namespace netrove {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace netrove
