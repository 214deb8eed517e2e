#include "widgets/recent_host_box.h"

#include <QCompleter>
#include <QLineEdit>

#include "base/recent_hosts.h"

namespace netrove {

CRecentHostBox::CRecentHostBox(std::string toolKey, QWidget* parent)
    : QComboBox(parent), toolKey_(std::move(toolKey)) {
  setEditable(true);
  // The list keeps the order of use; Enter does not add to it.
  setInsertPolicy(QComboBox::NoInsert);
  // Kept hosts are offered in a list below the field, never filled into it:
  // inline completion turned a typed "127.0.0.1" into a kept
  // "127.0.0.1:7979" that Enter then used.
  completer()->setCompletionMode(QCompleter::PopupCompletion);
  reload();
  // The field starts with its caller's text, empty as a rule: the recent
  // hosts are one drop-down away.
  setCurrentIndex(-1);
  setEditText({});
}

void CRecentHostBox::setToolKey(std::string toolKey) {
  toolKey_ = std::move(toolKey);
  reload();
}

void CRecentHostBox::rememberCurrentHost() {
  if (toolKey_.empty()) return;
  const QString typed = currentText().trimmed();
  RememberRecentHost(toolKey_, typed.toStdString());
  reload();
  setEditText(typed);
}

void CRecentHostBox::reload() {
  const QString typed = currentText();
  clear();
  if (!toolKey_.empty()) {
    for (const std::string& host : ReadRecentHosts(toolKey_)) addItem(QString::fromStdString(host));
  }
  setCurrentIndex(-1);
  setEditText(typed);
}

}  // namespace netrove
