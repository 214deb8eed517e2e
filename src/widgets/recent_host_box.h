#pragma once
// A host field that remembers: an editable drop-down of the hosts the tool
// was last given (most recent first, at most kRecentHostLimit), kept in the
// tool's settings key. The text typed is what counts; the list only offers.
#include <QComboBox>
#include <string>

namespace netrove {

class CRecentHostBox : public QComboBox {
  Q_OBJECT

 public:
  // `toolKey` names the tool's settings key ("Ping", "Finger", ...); with
  // none the field remembers nothing until it is given one.
  explicit CRecentHostBox(std::string toolKey = {}, QWidget* parent = nullptr);

  void setToolKey(std::string toolKey);

  // Puts the text now in the field at the head of the list, here and in
  // the settings; called when the host is used.
  void rememberCurrentHost();

 private:
  void reload();

  std::string toolKey_;
};

}  // namespace netrove
