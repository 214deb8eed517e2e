#pragma once
// The NicName/WhoIs window: "Command Line:", the "Send Request To" group,
// "Connect", "Request Help", "Close"/"Interrupt" and the "Reply" box that
// keeps every answer. It opens with the stored server choice; changes made
// here apply to this window only.
#include <string>

#include "base/net_socket.h"
#include "query/query_view.h"

namespace netrove {

class CWhoIsServerGroup;

class CNicNameView : public CQueryView {
  Q_OBJECT

 public:
  explicit CNicNameView(CToolServices& services, QWidget* parent = nullptr,
                        IResolver& resolver = SystemResolver());

  int helpContext() const override;

  QLineEdit* commandEdit() const { return commandEdit_; }
  CWhoIsServerGroup* serverGroup() const { return serverGroup_; }
  QPushButton* connectButton() const { return connectButton_; }
  QPushButton* helpRequestButton() const { return helpRequestButton_; }

  // "Connect": sends the command line; nothing but the focus moves while
  // the command line or the chosen "Other" server is empty.
  void sendCommandLine();
  // "Request Help": sends "?".
  void requestHelp();

 private:
  void sendToChosenServer(std::string requestLine, bool followReferrals);
  void setQueryControlsEnabled(bool enabled) override;
  void restoreIdleFocus() override;

  QLineEdit* commandEdit_;
  CWhoIsServerGroup* serverGroup_;
  QPushButton* connectButton_;
  QPushButton* helpRequestButton_;
  // Read when the window opens, as the server choice is.
  bool followReferrals_;
};

}  // namespace netrove
