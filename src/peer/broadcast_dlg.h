#pragma once
// The "Broadcast" box in its two modes: composing a text to send (OK only
// with text, at most the bytes a receiver reads) and showing a received one
// read-only, as plain text.
#include <QDialog>
#include <QString>
#include <string>

class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace netrove {

class CBroadcastDlg : public QDialog {
  Q_OBJECT

 public:
  // Compose mode.
  explicit CBroadcastDlg(QWidget* parent = nullptr);
  // Display mode: `received` shown read-only.
  CBroadcastDlg(const QString& received, QWidget* parent);

  // The composed text as it goes on the wire (line breaks as CR LF, UTF-8).
  std::string wireText() const;
  // Compose mode: the IPv4 address chosen under "Send To:", 255.255.255.255
  // unless an interface's broadcast address was chosen.
  std::string targetAddress() const;

 signals:
  void helpRequested(int contextId);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void build();
  // Keeps the text within the limit by undoing the change that passed it.
  void keepWithinLimit();

  QPlainTextEdit* edit_;
  QComboBox* target_ = nullptr;  // compose mode only
  QPushButton* okButton_;
  QPushButton* cancelButton_;
  QString accepted_;
};

}  // namespace netrove
