#pragma once
// Helpers of the shell's widget tests: message boxes that record instead of
// blocking, a minimal tool view and a catalog with one built tool.
#include <QString>
#include <vector>

#include "shell/command_ids.h"
#include "shell/message_boxes.h"
#include "shell/tool_catalog.h"
#include "shell/tool_view.h"

namespace netrove::test {

struct RecordedBox {
  QString caption;
  QString text;
};

class RecordingBoxes : public IMessageBoxes {
 public:
  void information(QWidget*, const QString& caption, const QString& text) override {
    shown.push_back({caption, text});
  }
  bool askYesNo(QWidget*, const QString& caption, const QString& text) override {
    asked.push_back({caption, text});
    return answerYes;
  }
  std::vector<RecordedBox> shown;
  std::vector<RecordedBox> asked;
  bool answerYes = false;
};

class CTestToolView : public CToolView {
 public:
  explicit CTestToolView(CToolServices& services) : CToolView(services) {}
  int helpContext() const override { return CommandHelpContext(kCmdPing); }
};

// Ping is built (a CTestToolView), Finger is not.
inline ToolCatalog TestCatalog() {
  ToolCatalog catalog;
  catalog.templates = {
      {131, QStringLiteral("Ping"), kCmdPing, QStringLiteral("Ping"),
       [](CToolServices& services) { return new CTestToolView(services); }},
      {149, QStringLiteral("Finger"), kCmdFinger, QStringLiteral("Finger"), {}},
  };
  return catalog;
}

}  // namespace netrove::test
