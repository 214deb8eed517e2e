#pragma once
// The Finger window: the server ("Send Request To:" and "Address..."), the
// query with the "/W Query Token." box, "Connect", "Close"/"Interrupt" and
// the "Reply" box that keeps every answer. It opens with the stored server
// and token; changes made here apply to this window only. The server field
// offers the servers last queried from a Finger window.
#include "base/net_socket.h"
#include "query/query_view.h"

class QCheckBox;

namespace netrove {

class CRecentHostBox;

class CFingerView : public CQueryView {
  Q_OBJECT

 public:
  explicit CFingerView(CToolServices& services, QWidget* parent = nullptr,
                       IResolver& resolver = SystemResolver());

  int helpContext() const override;

  CRecentHostBox* serverBox() const { return serverBox_; }
  QLineEdit* serverEdit() const;
  QPushButton* addressButton() const { return addressButton_; }
  QLineEdit* queryEdit() const { return queryEdit_; }
  QCheckBox* queryTokenBox() const { return queryTokenBox_; }
  QPushButton* connectButton() const { return connectButton_; }

  // "Connect": nothing but the focus moves while the server is empty.
  void connectToServer();

 private:
  void setQueryControlsEnabled(bool enabled) override;
  void restoreIdleFocus() override;

  CRecentHostBox* serverBox_;
  QPushButton* addressButton_;
  QLineEdit* queryEdit_;
  QCheckBox* queryTokenBox_;
  QPushButton* connectButton_;
};

}  // namespace netrove
