#pragma once
// The TFTP window: gets one file from, or puts one file to, a TFTP server.
// The transfer runs on the client's worker; the window follows it
// through the status ("Idle", "Connecting...", "In Progress", "Completed" or
// "Aborted" in red) and the bytes transferred, and interrupts it on request.
// A second "Browse..." deletes local files. The host field offers the hosts
// of the last transfers started from a TFTP window.
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>

#include "widgets/tool_view.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace netrove {

class CRecentHostBox;
class CTftpClientRun;

class CTftpView : public CToolView {
  Q_OBJECT

 public:
  explicit CTftpView(CToolServices& services, QWidget* parent = nullptr);
  ~CTftpView() override;

  int helpContext() const override;

  QRadioButton* getButton() const { return getButton_; }
  QRadioButton* putButton() const { return putButton_; }
  QRadioButton* asciiButton() const { return asciiButton_; }
  QRadioButton* binaryButton() const { return binaryButton_; }
  CRecentHostBox* hostBox() const { return hostBox_; }
  QLineEdit* hostEdit() const;
  QLineEdit* remoteEdit() const { return remoteEdit_; }
  QLineEdit* localEdit() const { return localEdit_; }
  QPushButton* startButton() const { return startButton_; }
  QPushButton* closeButton() const { return closeButton_; }
  QPushButton* deleteBrowseButton() const { return deleteBrowseButton_; }
  QPushButton* sendBrowseButton() const { return sendBrowseButton_; }
  QLabel* statusField() const { return statusField_; }
  QLabel* transferField() const { return transferField_; }

 protected:
  // The dialogs, as seams for the tests.
  virtual QString chooseFileToSend();
  virtual QStringList chooseFilesForDeletion();
  virtual bool confirmDeletion(const QString& path);

 private:
  class Progress;
  class FinishedRelay;

  void showPutMode(bool put);
  void start();
  bool checkInputs();
  void setInputsEnabled(bool enabled);
  void closeOrInterrupt();
  void onFinished();
  void pickHost();
  void browseFileToSend();
  void deleteFiles();
  void showStatus(const QString& status, bool failed);
  void showTransfer(std::uint64_t bytes, std::uint32_t elapsedMilliseconds);

  QRadioButton* getButton_;
  QRadioButton* putButton_;
  QRadioButton* asciiButton_;
  QRadioButton* binaryButton_;
  CRecentHostBox* hostBox_;
  QPushButton* addressButton_;
  QLineEdit* remoteEdit_;
  QLineEdit* localEdit_;
  QPushButton* sendBrowseButton_;
  QLabel* statusField_;
  QLabel* transferField_;
  QPushButton* startButton_;
  QPushButton* closeButton_;
  QPushButton* deleteBrowseButton_;

  std::unique_ptr<Progress> progress_;
  std::unique_ptr<FinishedRelay> finished_;
  std::unique_ptr<CTftpClientRun> client_;
};

}  // namespace netrove
