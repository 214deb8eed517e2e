#pragma once
// Helpers of the shell's widget tests: message boxes that record instead of
// blocking, a minimal tool view and a catalog with one built tool.
#include <QString>
#include <vector>

#include "base/command_ids.h"
#include "widgets/message_boxes.h"
#include "widgets/tool_catalog.h"
#include "widgets/tool_view.h"

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

// Ping is built (a CTestToolView), Finger and Mail are not.
inline ToolCatalog TestCatalog() {
  ToolCatalog catalog;
  catalog.templates = {
      {131, QStringLiteral("Ping"), kCmdPing, QStringLiteral("Ping"),
       [](CToolServices& services) { return new CTestToolView(services); }},
      {149, QStringLiteral("Finger"), kCmdFinger, QStringLiteral("Finger"), {}},
      {150, QStringLiteral("Mail"), kCmdMail, QStringLiteral("Mail"), {}, false, true},
  };
  return catalog;
}

}  // namespace netrove::test
